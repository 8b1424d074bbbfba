// The resize rule: proportional across, anchored down, and never a negative size.
#include "ui/window_layout.h"

#include <gtest/gtest.h>

namespace banklore {
namespace {

const WindowLayout kDesigned = designedLayout(2.0, 2.0);

TEST(WindowLayoutTest, DesignedLayoutIsTheDialogUnitsScaled) {
  EXPECT_EQ(kDesigned.client, (LayoutBox{0, 0, 624, 444}));
  EXPECT_EQ(kDesigned.list[0], (LayoutBox{10, 30, 250, 360}));
  EXPECT_EQ(kDesigned.list[1], (LayoutBox{370, 30, 610, 360}));
  EXPECT_EQ(kDesigned.middle[8], (LayoutBox{260, 220, 360, 240}));  // "S&etup..."
  EXPECT_EQ(kDesigned.progress[1], (LayoutBox{370, 410, 610, 432}));
}

TEST(WindowLayoutTest, AtTheDesignedSizeOnlyTheMiddleColumnWidens) {
  const WindowLayout same = arrangeLayout(kDesigned, 624, 444);
  WindowLayout expected = kDesigned;
  // Its width is scaled by (width - left margin) / right edge of bank 2: 100 * 614 / 610.
  for (LayoutBox& button : expected.middle) button.right = button.left + 100 * 614 / 610;
  EXPECT_EQ(same, expected);
}

TEST(WindowLayoutTest, TwiceAsWideDoublesBothBanks) {
  const WindowLayout wide = arrangeLayout(kDesigned, 1248, 444);
  EXPECT_EQ(wide.list[0], (LayoutBox{10, 30, 10 + 480, 360}));
  EXPECT_EQ(wide.list[1], (LayoutBox{740, 30, 740 + 480, 360}));
  EXPECT_EQ(wide.caption[1].left, 740);
  EXPECT_EQ(wide.caption[1].width(), 480);
  EXPECT_EQ(wide.status[1].left, 740);
  EXPECT_EQ(wide.progress[0].left, 10);
  EXPECT_EQ(wide.progress[0].width(), 480);
  // Bank 1's buttons keep their offset from the list's left edge in proportion.
  EXPECT_EQ(wide.bankButtons[0][1].left, 10 + (90 - 10) * 2);
  EXPECT_EQ(wide.bankButtons[1][2].left, 540 * 2);
  EXPECT_EQ(wide.middle[0].left, 10 + (260 - 10) * 2);
  EXPECT_EQ(wide.middle[0].top, kDesigned.middle[0].top);
}

TEST(WindowLayoutTest, TallerGivesTheListsTheHeightAndMovesWhatIsBelow) {
  const WindowLayout tall = arrangeLayout(kDesigned, 624, 544);
  for (int b = 0; b < 2; ++b) {
    SCOPED_TRACE(b);
    EXPECT_EQ(tall.list[b].top, kDesigned.list[b].top);
    EXPECT_EQ(tall.list[b].height(), kDesigned.list[b].height() + 100);
    EXPECT_EQ(tall.status[b].top, kDesigned.status[b].top + 100);
    EXPECT_EQ(tall.progress[b].top, kDesigned.progress[b].top + 100);
    EXPECT_EQ(tall.caption[b], kDesigned.caption[b]);
    for (int i = 0; i < kBankButtonCount; ++i) {
      EXPECT_EQ(tall.bankButtons[b][i].top, kDesigned.bankButtons[b][i].top + 100);
      EXPECT_EQ(tall.bankButtons[b][i].height(), kDesigned.bankButtons[b][i].height());
    }
  }
  for (int i = 0; i < kMiddleButtonCount; ++i) {
    EXPECT_EQ(tall.middle[i].top, kDesigned.middle[i].top);
  }
}

TEST(WindowLayoutTest, TinyOrHugeWindowsGiveNoNegativeOrOverflowingSizes) {
  for (auto [cx, cy] : {std::pair{0, 0}, {1, 1}, {50, 20}, {2000000, 2000000}}) {
    SCOPED_TRACE(cx);
    const WindowLayout layout = arrangeLayout(kDesigned, cx, cy);
    const auto check = [](const LayoutBox& box) {
      EXPECT_GE(box.width(), 0);
      EXPECT_GE(box.height(), 0);
    };
    for (int b = 0; b < 2; ++b) {
      check(layout.list[b]);
      check(layout.caption[b]);
      check(layout.status[b]);
      check(layout.progress[b]);
      for (const LayoutBox& box : layout.bankButtons[b]) check(box);
    }
    for (const LayoutBox& box : layout.middle) check(box);
  }
  EXPECT_GT(arrangeLayout(kDesigned, 2000000, 444).list[1].width(), 0);
}

}  // namespace
}  // namespace banklore
