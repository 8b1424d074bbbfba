#include "platform/profile.h"

#include <gtest/gtest.h>

#include <limits>

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

  // What would change the file's structure is refused, as is a write that fails.
  const std::string content = "[A]\nX=" + std::string(990, '1') + "\n";
  writeFile(file, content);
  // clang-format off
  const struct { const char *section, *key, *value; } refused[] = {
      {"A", "Key", "two\nlines"}, {"A", "Ke=y", "v"}, {"A]", "Key", "v"}, {"A", " \t ", "v"},
      {"A", "[k", "v"},           {"A", ";k", "v"},   {"A", "k", "a\rb"}, {"A\r", "k", "v"},
      {"A", "k\n", "v"}};
  // clang-format on
  for (const auto& c : refused) {
    EXPECT_FALSE(writeText(file, c.section, c.key, c.value)) << c.section << "/" << c.key;
  }
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

// What a write stores, a read gives back (without the surrounding blanks, which the format does
// not keep): awkward keys and values, among them those the INI fuzz target found.
TEST(ProfileTest, AwkwardKeysAndValuesReadBackAsWritten) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  writeFile(file, "\xEF\xBB\xBF[A]\nFirst=1\n");  // an editor's byte-order mark
  // clang-format off
  const struct { std::string section, key, value, readBack; } cases[] = {
      {"A", "\xEF\xBB\xBFKey", "bom", "bom"},   // a key that starts like a byte-order mark
      {"\xEF\xBB\xBF", "k", "w", "w"},          // and a section named so
      {"A", "k", " \tpadded \t", "padded"},     {"A", "semicolon", ";not a comment", ";not a comment"},
      {"A", "equals", "a=b=c", "a=b=c"},        {"A", "bracket", "[not a section]", "[not a section]"},
      {"A", "key]", "x", "x"},                  {"[B", "k", "v", "v"},
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

  using Limits = std::numeric_limits<std::int32_t>;
  for (const std::int64_t number : {std::int64_t{-1}, std::numeric_limits<std::int64_t>::max(),
                                    std::numeric_limits<std::int64_t>::min()}) {
    ASSERT_TRUE(writeInt(file, "N", "n", number));
    EXPECT_EQ(readInt(file, "N", "n", 7),
              std::clamp<std::int64_t>(number, Limits::min(), Limits::max()))
        << number;
  }
}

}  // namespace banklore
