// The archive window's find box over its entries, and the last-seen text of its list.
#include "app/archive_browser.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <regex>

namespace banklore::testing {
namespace {

std::string asciiLowered(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return text;
}

// Against a plain reference: both lowered, then searched. Latin-1 letters (\xC4, \xE4) keep their
// case.
RC_GTEST_PROP(ArchiveBrowserTest, MatchingEntriesAreTheNamesContainingTheFilterInAnyCase, ()) {
  const auto text =
      rc::gen::container<std::string>(rc::gen::element('a', 'A', 'b', '\xC4', '\xE4'));
  const auto names = *rc::gen::container<std::vector<std::string>>(text);
  const std::string filter = *rc::gen::resize(4, text);
  std::vector<ArchiveEntry> entries;
  std::vector<std::size_t> expected;
  for (const std::string& name : names) {
    if (asciiLowered(name).find(asciiLowered(filter)) != std::string::npos) {
      expected.push_back(entries.size());
    }
    entries.emplace_back().name = name;
  }
  RC_ASSERT(matchingEntries(entries, filter) == expected);
}

TEST(ArchiveBrowserTest, LastSeenTextIsTheLastEventAndItsLocalTime) {
  ArchiveEntry entry;
  entry.lastSeen = 1796652125;
  entry.lastEvent = "sent to A005";
  EXPECT_TRUE(std::regex_match(lastSeenText(entry),
                               std::regex(R"(sent to A005, \d{4}-\d\d-\d\d \d\d:\d\d)")))
      << lastSeenText(entry);
}

}  // namespace
}  // namespace banklore::testing
