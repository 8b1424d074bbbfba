#include "ui/definition_sections.h"

#include <gtest/gtest.h>

#include <string>

namespace banklore {
namespace {

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
      // 2046 characters are one piece; the rest of the line is judged on its own.
      {std::string(2046, 'x') + "[Hidden]\n[" + std::string(3000, 'L') + "]\n", {"Hidden"}},
  };
  for (const auto& c : cases) EXPECT_EQ(sectionHeadersIn(c.text), c.names);
  EXPECT_TRUE(sectionHeadersOf("/nonexistent/banklore.idf").empty());
}

TEST(DefinitionSectionsTest, SortedIgnoringCaseAndPreselectedByTheLastMatch) {
  Names names = {"Virus", "nova", "Matrix-1000", "alpha", "Nova"};
  sortInstrumentNames(names);
  EXPECT_EQ(names, (Names{"alpha", "Matrix-1000", "nova", "Nova", "Virus"}));
  EXPECT_EQ(preselectedInstrument(names, "NOVA"), 3);
  EXPECT_EQ(preselectedInstrument(names, "Missing"), 0);
}

}  // namespace
}  // namespace banklore
