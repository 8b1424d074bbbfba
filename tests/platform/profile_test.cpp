#include "platform/profile.h"

#include <gtest/gtest.h>

#include "platform/temp_dir.h"

namespace banklore {

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
  for (const auto& [text, expected] : {std::pair{"-12abc", -12}, {"abc", 0}, {"", 77}, {"-", 0}}) {
    writeFile(file, std::string("[Nova]\nValue=") + text + "\n");
    EXPECT_EQ(readInt(file, "nova", "value", 77), expected) << text;
  }
}

// A file with CR LF line ends keeps them, on the lines written anew too; a new key goes to the end
// of its own section.
TEST(ProfileTest, WritesKeepTheLineEndsAndPutNewKeysInTheirSection) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  writeFile(file, "[A]\r\nX=1\r\n[B]\r\nY=2\r\n");
  EXPECT_FALSE(writeText(file, "A", "Key", "two\nlines"));
  ASSERT_TRUE(writeText(file, "A", "X", "3"));
  ASSERT_TRUE(writeText(file, "A", "Z", "4"));
  ASSERT_TRUE(writeText(file, "C", "W", "5"));
  EXPECT_EQ(readFile(file), "[A]\r\nX=3\r\nZ=4\r\n[B]\r\nY=2\r\n[C]\r\nW=5\r\n");
  EXPECT_EQ(dir.entries(), 1) << "no temporary file left behind";
}

}  // namespace banklore
