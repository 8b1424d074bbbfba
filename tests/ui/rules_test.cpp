// The rules beneath the window and its dialogs, on their own: the resize rule, the Move count and
// the instrument definition's section headers.
#include <gtest/gtest.h>

#include <string>

#include "ui/definition_sections.h"
#include "ui/move_count.h"
#include "ui/window_layout.h"

namespace banklore {
namespace {

const WindowLayout kDesigned = designedLayout(2.0, 2.0);

TEST(WindowLayoutTest, EachControlMovesByItsRule) {
  const WindowLayout out = arrangeLayout(kDesigned, 1248, 544);
  EXPECT_EQ(out.list[0], (LayoutBox{10, 30, 490, 460}));
  EXPECT_EQ(out.list[1], (LayoutBox{740, 30, 1220, 460}));
  EXPECT_EQ(out.caption[1], (LayoutBox{740, 10, 1220, 26}));
  EXPECT_EQ(out.status[0], (LayoutBox{10, 490, 490, 506}));
  EXPECT_EQ(out.progress[0], (LayoutBox{10, 510, 490, 532}));
  EXPECT_EQ(out.bankButtons[0][1], (LayoutBox{170, 460, 310, 480}));  // offset from list 1 doubled
  EXPECT_EQ(out.bankButtons[1][2], (LayoutBox{1080, 460, 1220, 480}));
  EXPECT_EQ(out.middle[0], (LayoutBox{510, 30, 510 + 100 * 1238 / 610, 50}));
}

TEST(MoveCountTest, ReadsSignedIntegersWithinTheRange) {
  using enum MoveCountCheck;  // 12abc, 1024, -1024 and 1023 are typed into the Move dialog
  const struct {
    const char* text;
    MoveCountCheck check;
    int value;
  } cases[] = {{"+7", Valid, 7},          {"  12 ", Valid, 12},
               {"-1023", Valid, -1023},   {"0001023", Valid, 1023},
               {"", NotAnInteger, 0},     {"-", NotAnInteger, 0},
               {"1.5", NotAnInteger, 0},  {"1 2", NotAnInteger, 0},
               {"0x10", NotAnInteger, 0}, {"99999999999999999999", OutOfRange, 0}};
  for (const auto& c : cases) {
    const MoveCountResult result = parseMoveCount(c.text);
    EXPECT_EQ(std::pair(result.check, result.value), std::pair(c.check, c.value)) << c.text;
  }
}

using Names = std::vector<std::string>;

TEST(DefinitionSectionsTest, HeadersNeedTheirBracketsRightBeforeTheLineEnd) {
  const struct {
    std::string text;
    Names names;
  } cases[] = {
      {"[Virus]\n[Nova]\r\n[Matrix-1000]\n", {"Virus", "Nova", "Matrix-1000"}},
      {"[Nova]\nSettings=X\n[Zeta]", {"Nova"}},  // no line end after the last header
      {" [Lead]\n[Pad] \nKey=[Value]\n", {}},
      {"[A]B]\n[]\n[Twice]\n[Twice]\n", {"A", "", "Twice", "Twice"}},
  };
  for (const auto& c : cases) EXPECT_EQ(sectionHeadersIn(c.text), c.names);
  EXPECT_TRUE(sectionHeadersOf("/nonexistent/banklore.idf").empty());
}

}  // namespace
}  // namespace banklore
