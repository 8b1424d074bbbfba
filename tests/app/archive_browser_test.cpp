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

// Against a plain reference: both lowered, then searched. Latin-1 letters (here \xC4, \xE4) keep
// their case.
RC_GTEST_PROP(ArchiveBrowserTest, MatchingEntriesAreTheNamesContainingTheFilterInAnyCase, ()) {
  const auto text =
      rc::gen::container<std::string>(rc::gen::element('a', 'A', 'b', 'B', ' ', '\xC4', '\xE4'));
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
  const std::regex minute(R"(\d{4}-\d\d-\d\d \d\d:\d\d)");
  for (const char* event : {"sent to A005", "loaded from /tmp/a, b.syx", ""}) {
    ArchiveEntry entry;
    entry.lastSeen = 1796652125;
    entry.lastEvent = event;
    const std::string text = lastSeenText(entry);
    const std::string prefix = *event ? std::string(event) + ", " : "";
    ASSERT_EQ(text.substr(0, prefix.size()), prefix);
    EXPECT_TRUE(std::regex_match(text.substr(prefix.size()), minute)) << text;
  }
}

}  // namespace
}  // namespace banklore::testing
