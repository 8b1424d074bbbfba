#include "platform/profile.h"

#include <gtest/gtest.h>

#include "platform/temp_dir.h"

namespace banklore {

constexpr char kSample[] =
    "Orphan=before any section\n[General]\nInstrument = Nova \n  Formula=a=b\nDup=first\n"
    "Dup=second\n;Commented=yes\n[  Matrix-1000  ]\n\tDataSize\t=\t300\t\r\nEmpty=\n"
    "[]\nMidiIN=USB MIDI 1\n[general]\nLater=merged";  // no last line end

TEST(ProfileTest, ReadTextAndReadIntFindTheValueOrTheFallback) {
  TempDir dir;
  const std::string file = dir.file("settings.ini");
  writeFile(file, kSample);
  // clang-format off
  const struct { const char *section, *key, *expected; std::size_t capacity = 99; } cases[] = {
      {"General", "Instrument", "Nova"},      {"General", "Formula", "a=b"},
      {"General", "Dup", "first"},            {"General", "Commented", "<default>"},
      {"General", "Orphan", "<default>"},     {"General", "Later", "merged"},
      {" matrix-1000 ", " datasize ", "300"}, {"Matrix-1000", "Empty", ""},
      {"", "MidiIN", "USB MIDI 1"},           {"Missing", "Instrument", "<default>"},
      {"General", "Instrument", "No", 2},     {"General", "Missing", "<def", 4}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(readText(file, c.section, c.key, "<default>", c.capacity), c.expected)
        << c.section << "/" << c.key;
  }
  EXPECT_EQ(readText(dir.file("none.ini"), "General", "Instrument", "Nova", 9), "Nova");
  EXPECT_EQ(sectionNames(file),
            (std::vector<std::string>{"General", "Matrix-1000", "", "general"}));
  // clang-format off
  const std::pair<const char*, std::int32_t> numbers[] = {  // the leading decimal number
      {"-1", -1}, {" 300", 300}, {"+5", 5}, {"12abc", 12}, {"abc", 0}, {"-", 0}, {"", 77},
      {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN}};
  // clang-format on
  for (const auto& [value, expected] : numbers) {
    writeFile(file, std::string("[Nova]\nValue=") + value + "\n");
    EXPECT_EQ(readInt(file, "nova", "value", 77), expected) << value;
  }
  EXPECT_EQ(readInt(dir.file("none.ini"), "Nova", "Value", -5), -5);
}

// A write creates, replaces or adds one entry and keeps every other line; a refused or failed one
// leaves the file whole.
TEST(ProfileTest, WriteChangesOneEntryOrNothing) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  ASSERT_TRUE(writeText(file, "", "Path", "/home/u/"));  // a new file, the empty section
  ASSERT_TRUE(writeText(file, "General", "Instrument", "Virus"));
  ASSERT_TRUE(writeText(file, "", "Last", "/tmp/"));
  EXPECT_EQ(readFile(file), "[]\nPath=/home/u/\nLast=/tmp/\n[General]\nInstrument=Virus\n");

  writeFile(file, kSample);
  ASSERT_TRUE(writeText(file, "general", "dup", "new"));        // replaces the first Dup
  ASSERT_TRUE(writeText(file, "MATRIX-1000", "Added", "yes"));  // after the section's last entry
  ASSERT_TRUE(writeInt(file, "Fresh", "Count", -42));           // new section at the end
  std::string expected = kSample;
  expected.replace(expected.find("Dup=first"), 9, "dup=new");
  expected.insert(expected.find("[]\n"), "Added=yes\n");
  EXPECT_EQ(readFile(file), expected + "\n[Fresh]\nCount=-42\n");
  const std::string content = "[A]\nX=" + std::string(990, '1') + "\n";
  writeFile(file, content);
  EXPECT_FALSE(writeText(file, "A", "Key", "two\nlines"));  // each would break the file's lines
  EXPECT_FALSE(writeText(file, "A", "Ke=y", "v"));
  EXPECT_FALSE(writeText(file, "A]", "Key", "v"));
  EXPECT_FALSE(writeText(dir.file("no-folder/a.ini"), "A", "Key", "v"));
  EXPECT_EQ(underSizeLimit([&] { return writeText(file, "A", "Y", "more than fits"); }), 1);
  EXPECT_EQ(readFile(file), content);
  EXPECT_EQ(dir.entries(), 1) << "no temporary file left behind";

  // A file written with CR LF line ends keeps them, on the lines written anew too.
  writeFile(file, "[A]\r\nX=1\r\n[B]\r\nY=2\r\n");
  ASSERT_TRUE(writeText(file, "A", "X", "3"));
  ASSERT_TRUE(writeText(file, "A", "Z", "4"));
  ASSERT_TRUE(writeText(file, "C", "W", "5"));
  EXPECT_EQ(readFile(file), "[A]\r\nX=3\r\nZ=4\r\n[B]\r\nY=2\r\n[C]\r\nW=5\r\n");
}

}  // namespace banklore
