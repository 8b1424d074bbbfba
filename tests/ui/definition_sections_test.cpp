#include "ui/definition_sections.h"

#include <gtest/gtest.h>

#include <string>

namespace banklore {
namespace {

using Names = std::vector<std::string>;

TEST(DefinitionSectionsTest, HeadersNeedTheirBracketsRightBeforeTheLineEnd) {
  struct Case {
    const char* text;
    Names names;
  };
  const Case cases[] = {
      {"[Virus]\n[Nova]\r\n[Matrix-1000]\n", {"Virus", "Nova", "Matrix-1000"}},
      {"[Nova]\nSettings=X\n[Zeta]", {"Nova"}},  // no line end after the last header
      {" [Lead]\n[Pad] \n[Bass]\t\n", {}},       // blanks around the brackets
      {"Key=[Value]\n# [Comment]\n", {}},
      {"[A]B]\n", {"A"}},
      {"[]\n[Twice]\n[Twice]\n", {"", "Twice", "Twice"}},
      {"[\n]\n\n", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(sectionHeadersIn(c.text), c.names);
  }
}

TEST(DefinitionSectionsTest, LongLinesAreJudgedInPieces) {
  // 2046 characters make one piece; the rest of the line is a piece of its own.
  const std::string text = std::string(2046, 'x') + "[Hidden]\n" + "[Real]\n";
  EXPECT_EQ(sectionHeadersIn(text), (Names{"Hidden", "Real"}));
  const std::string longHeader = "[" + std::string(3000, 'L') + "]\n";
  EXPECT_EQ(sectionHeadersIn(longHeader), Names{});
}

TEST(DefinitionSectionsTest, MissingFileListsNothing) {
  EXPECT_TRUE(sectionHeadersOf("/nonexistent/banklore.idf").empty());
}

TEST(DefinitionSectionsTest, SortedIgnoringCaseAndPreselectedByTheLastMatch) {
  Names names = {"Virus", "nova", "Matrix-1000", "alpha", "Nova"};
  sortInstrumentNames(names);
  EXPECT_EQ(names, (Names{"alpha", "Matrix-1000", "nova", "Nova", "Virus"}));
  EXPECT_EQ(preselectedInstrument(names, "NOVA"), 3);
  EXPECT_EQ(preselectedInstrument(names, "virus"), 4);
  EXPECT_EQ(preselectedInstrument(names, "Missing"), 0);
  EXPECT_EQ(preselectedInstrument({}, "Nova"), 0);
}

}  // namespace
}  // namespace banklore
