// The resize rule on its own: proportional across, anchored down, never a negative size.
#include "ui/window_layout.h"

#include <gtest/gtest.h>

namespace banklore {
namespace {

const WindowLayout kDesigned = designedLayout(2.0, 2.0);

TEST(WindowLayoutTest, TwiceAsWideAndTallerMovesEachControlByItsRule) {
  const WindowLayout out = arrangeLayout(kDesigned, 1248, 544);
  EXPECT_EQ(out.list[0], (LayoutBox{10, 30, 490, 460}));
  EXPECT_EQ(out.list[1], (LayoutBox{740, 30, 1220, 460}));
  EXPECT_EQ(out.caption[1], (LayoutBox{740, 10, 1220, 26}));
  EXPECT_EQ(out.bankButtons[0][1], (LayoutBox{170, 460, 310, 480}));  // offset from list 1 doubled
  EXPECT_EQ(out.bankButtons[1][2], (LayoutBox{1080, 460, 1220, 480}));
  EXPECT_EQ(out.middle[0], (LayoutBox{510, 30, 510 + 100 * 1238 / 610, 50}));
}

TEST(WindowLayoutTest, TinyOrHugeWindowsGiveNoNegativeOrOverflowingSizes) {
  for (int size : {0, 1, 50, 2000000}) {
    SCOPED_TRACE(size);
    const WindowLayout out = arrangeLayout(kDesigned, size, size);
    std::vector<LayoutBox> boxes(out.middle.begin(), out.middle.end());
    for (int b = 0; b < 2; ++b) {
      boxes.insert(boxes.end(), {out.list[b], out.caption[b], out.status[b], out.progress[b]});
      boxes.insert(boxes.end(), out.bankButtons[b].begin(), out.bankButtons[b].end());
    }
    for (const LayoutBox& box : boxes) {
      EXPECT_GE(box.width(), 0);
      EXPECT_GE(box.height(), 0);
    }
  }
}

}  // namespace
}  // namespace banklore
