#include "platform/profile.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <limits>
#include <map>

#include "platform/temp_dir.h"

namespace banklore {

// A file of a few sections and keys; one entry written, new or not, in any letter case: it reads
// back as written, and every other entry reads as before.
RC_GTEST_PROP(ProfileTest, AWriteReadsBackAndLeavesEveryOtherEntryAlone, ()) {
  const auto name = [](const char* prefix) {
    return prefix + std::to_string(*rc::gen::inRange(0, 4));
  };
  const auto value = [] {
    return *rc::gen::container<std::string>(rc::gen::element('a', 'Z', '0', '=', ';', '[', ' '));
  };
  const auto trimmed = [](std::string text) {
    text.erase(0, text.find_first_not_of(' '));
    return text.erase(text.find_last_not_of(' ') + 1);
  };
  std::map<std::pair<std::string, std::string>, std::string> entries;
  std::string text;
  for (int sections = *rc::gen::inRange(0, 4); sections > 0; --sections) {
    const std::string section = name("S");
    text += "[" + section + "]\n";
    for (int keys = *rc::gen::inRange(0, 4); keys > 0; --keys) {
      const std::string key = name("k"), v = value();
      text += key + "=" + v + "\n";
      entries.emplace(std::pair(section, key), trimmed(v));  // the first of a section's twins
    }
  }
  TempDir dir;
  const std::string file = dir.file("a.ini");
  writeFile(file, text);
  std::string section = name("S"), key = name("k");
  const std::string written = trimmed(value());
  if (*rc::gen::arbitrary<bool>()) section[0] = 's', key[0] = 'K';
  RC_ASSERT(writeText(file, section, key, written));
  RC_ASSERT(readText(file, section, key, "<none>", 99) == written);
  for (const auto& [at, expected] : entries) {
    if (!equalsIgnoringCase(at.first, section) || !equalsIgnoringCase(at.second, key))
      RC_ASSERT(readText(file, at.first, at.second, "<none>", 99) == expected);
  }
}

RC_GTEST_PROP(ProfileTest, NumbersReadBackClampedTo32Bits, (std::int64_t number)) {
  TempDir dir;
  RC_ASSERT(writeInt(dir.file("a.ini"), "N", "n", number));
  RC_ASSERT(readInt(dir.file("a.ini"), "N", "n", 7) ==
            std::clamp<std::int64_t>(number, INT32_MIN, INT32_MAX));
}

TEST(ProfileTest, ReadTextAndReadIntFindTheValueOrTheFallback) {
  TempDir dir;
  const std::string file = dir.file("settings.ini");
  writeFile(file,
            "\xEF\xBB\xBF[General]\nInstrument = Nova \nDup=first\n"
            "Dup=second\n;Commented=yes\n[  Matrix-1000  ]\n\tDataSize\t=\t300\t\r\nEmpty=\n"
            "[]\nMidiIN=USB MIDI 1\n[general]\nLater=merged");  // no last line end
  // clang-format off
  const struct { const char *section, *key, *expected; std::size_t capacity = 99; } cases[] = {
      {"General", "Dup", "first"},            {"General", "Commented", "<default>"},
      {"General", "Later", "merged"},         {"Missing", "Dup", "<default>"},
      {" matrix-1000 ", " datasize ", "300"}, {"Matrix-1000", "Empty", ""},
      {"", "MidiIN", "USB MIDI 1"},           {"General", "Instrument", "No", 2}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(readText(file, c.section, c.key, "<default>", c.capacity), c.expected)
        << c.section << "/" << c.key;
  }
  EXPECT_EQ(readText(dir.file("none.ini"), "General", "Instrument", "Nova", 9), "Nova");
  EXPECT_EQ(sectionNames(file),
            (std::vector<std::string>{"General", "Matrix-1000", "", "general"}));
  for (const auto& [text, expected] : {std::pair{"12abc", 12}, {"abc", 0}, {"", 77}, {"-", 0}}) {
    writeFile(file, std::string("[Nova]\nValue=") + text + "\n");
    EXPECT_EQ(readInt(file, "nova", "value", 77), expected) << text;
  }
}

// What would change the file's structure is refused and leaves it whole; a file with CR LF line
// ends keeps them, on the lines written anew too.
TEST(ProfileTest, WritesThatWouldBreakTheLinesAreRefusedAndLineEndsAreKept) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  writeFile(file, "[A]\r\nX=1\r\n[B]\r\nY=2\r\n");
  for (const auto& [section, key, value] : {std::tuple{"A", "Key", "two\nlines"},
                                            {"A", "Ke=y", "v"},
                                            {"A]", "Key", "v"},
                                            {"A", " \t ", "v"},
                                            {"A", "k", "a\rb"},
                                            {"A\r", "k", "v"},
                                            {"A", "k\n", "v"}}) {
    EXPECT_FALSE(writeText(file, section, key, value)) << section << "/" << key;
  }
  EXPECT_FALSE(writeText(dir.file("no-folder/a.ini"), "A", "Key", "v"));
  ASSERT_TRUE(writeText(file, "A", "X", "3"));
  ASSERT_TRUE(writeText(file, "A", "Z", "4"));
  ASSERT_TRUE(writeText(file, "C", "W", "5"));
  EXPECT_EQ(readFile(file), "[A]\r\nX=3\r\nZ=4\r\n[B]\r\nY=2\r\n[C]\r\nW=5\r\n");
  EXPECT_EQ(dir.entries(), 1) << "no temporary file left behind";
}

}  // namespace banklore
