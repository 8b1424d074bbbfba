// What a write stores, a read gives back (without the surrounding blanks, which the format does
// not keep), or the write is refused and the file left alone: awkward keys and values, among them
// those the INI fuzz target (tests/fuzz/profile_fuzzer.cpp) found.
#include <gtest/gtest.h>

#include <limits>

#include "platform/profile.h"
#include "platform/temp_dir.h"

namespace banklore {
namespace {

TEST(ProfileRoundTripTest, AwkwardKeysAndValuesReadBackAsWritten) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  writeFile(file, "\xEF\xBB\xBF[A]\nFirst=1\n");  // an editor's byte-order mark
  // clang-format off
  const struct { std::string section, key, value, readBack; } cases[] = {
      {"A", "\xEF\xBB\xBFKey", "bom", "bom"},   // a key that starts like a byte-order mark
      {"\xEF\xBB\xBF", "k", "w", "w"},          // and a section named so
      {"A", "k", " \tpadded \t", "padded"},
      {"A", "semicolon", ";not a comment", ";not a comment"},
      {"A", "equals", "a=b=c", "a=b=c"},
      {"A", "bracket", "[not a section]", "[not a section]"},
      {"A", "key]", "x", "x"},
      {"[B", "k", "v", "v"},
      {"", "empty section", "", ""},
      {"A", std::string("n\0l", 3), std::string("a\0b", 3), std::string("a\0b", 3)}};
  // clang-format on
  for (const auto& c : cases) {
    ASSERT_TRUE(writeText(file, c.section, c.key, c.value)) << c.section << "/" << c.key;
  }
  for (const auto& c : cases) {
    EXPECT_EQ(readText(file, c.section, c.key, "<missing>", 99), c.readBack)
        << c.section << "/" << c.key;
  }
  EXPECT_EQ(readText(file, "a", "first", "<missing>", 9), "1") << "the mark is still passed over";
  EXPECT_EQ(readText(file, "A", "Key", "<missing>", 9), "<missing>");
  EXPECT_TRUE(readFile(file).starts_with("\xEF\xBB\xBF[A]\n")) << "and kept";

  const std::int64_t numbers[] = {0, -1, std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int64_t>::max(),
                                  std::numeric_limits<std::int64_t>::min()};
  for (const std::int64_t number : numbers) {
    ASSERT_TRUE(writeInt(file, "N", "n", number));
    EXPECT_EQ(readInt(file, "N", "n", 7),
              std::clamp<std::int64_t>(number, std::numeric_limits<std::int32_t>::min(),
                                       std::numeric_limits<std::int32_t>::max()))
        << number;
  }
}

TEST(ProfileRoundTripTest, WhatTheFormatCannotHoldIsRefusedAndTheFileKept) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  const std::string content = "[A]\nk=v\n";
  writeFile(file, content);
  // clang-format off
  const struct { const char *section, *key, *value; } cases[] = {
      {"A", " \t ", "v"}, {"A", "[k", "v"}, {"A", ";k", "v"}, {"A", "k", "a\rb"},
      {"A\r", "k", "v"},  {"A", "k\n", "v"}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_FALSE(writeText(file, c.section, c.key, c.value)) << c.section << "/" << c.key;
  }
  EXPECT_EQ(readFile(file), content);
}

}  // namespace
}  // namespace banklore
