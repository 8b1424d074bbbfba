#include "platform/profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <thread>

#include "platform/temp_dir.h"

namespace banklore {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

constexpr char kSample[] =
    "; Banklore settings\n"
    "Orphan=before any section\n"
    "[General]\n"
    "Instrument = Nova \n"
    "  PosX=10\n"
    "Formula=a=b\n"
    "Dup=first\n"
    "Dup=second\n"
    ";Commented=yes\n"
    "not a key line\n"
    "[  Matrix-1000  ]\n"
    "\tDataSize\t=\t300\t\n"
    "SendChecksumPos=-1\n"
    "Empty=\n"
    "[]\n"
    "MidiIN=USB MIDI 1\n"
    "[general]\n"
    "Later=merged\n"
    "Dup=third\n";

struct TextCase {
  const char* section;
  const char* key;
  const char* expected;
};

class ProfileReadTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ProfileReadTextTest, FindsValueOrFallback) {
  TempDir dir;
  const std::string file = dir.file("settings.ini");
  writeFile(file, kSample);
  EXPECT_EQ(readText(file, GetParam().section, GetParam().key, "<default>", 259),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileReadTextTest,
    ::testing::Values(TextCase{"General", "Instrument", "Nova"},  // blanks around the value dropped
                      TextCase{"GENERAL", "instrument", "Nova"},  // names without regard to case
                      TextCase{"General", "PosX", "10"},          // indented key
                      TextCase{"General", "Formula", "a=b"},      // the first "=" splits
                      TextCase{"General", "Dup", "first"},        // first of equal keys counts
                      TextCase{"General", "Commented", "<default>"},  // comment line
                      TextCase{"General", "not a key line", "<default>"},
                      TextCase{"General", "Orphan", "<default>"},  // before any section
                      TextCase{"General", "Later", "merged"},      // a section repeated later
                      TextCase{"Matrix-1000", "DataSize", "300"},  // blanks around section and key
                      TextCase{" matrix-1000 ", " datasize ", "300"},
                      TextCase{"Matrix-1000", "Empty", ""},  // present but empty
                      TextCase{"", "MidiIN", "USB MIDI 1"},  // the section with the empty name
                      TextCase{"", "Instrument", "<default>"},
                      TextCase{"Missing", "Instrument", "<default>"},
                      TextCase{"General", "Missing", "<default>"}));

struct IntCase {
  const char* value;
  std::int32_t expected;
};

class ProfileReadIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(ProfileReadIntTest, ReadsLeadingDecimalNumber) {
  TempDir dir;
  const std::string file = dir.file("def.idf");
  writeFile(file, std::string("[Nova]\nValue=") + GetParam().value + "\n");
  EXPECT_EQ(readInt(file, "nova", "value", 77), GetParam().expected) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileReadIntTest,
    ::testing::Values(IntCase{"-1", -1}, IntCase{" 300", 300}, IntCase{"+5", 5},
                      IntCase{"12abc", 12}, IntCase{"abc", 0}, IntCase{"-", 0}, IntCase{"0x10", 0},
                      IntCase{"", 77}, IntCase{"   ", 77}, IntCase{"2147483647", 2147483647},
                      IntCase{"99999999999", std::numeric_limits<std::int32_t>::max()},
                      IntCase{"-2147483648", std::numeric_limits<std::int32_t>::min()},
                      IntCase{"-99999999999", std::numeric_limits<std::int32_t>::min()}));

TEST(ProfileTest, MissingFileGivesDefaultsAndFirstWriteCreatesIt) {
  TempDir dir;
  const std::string file = dir.file("banklore.ini");
  EXPECT_EQ(readText(file, "General", "Instrument", "Nova", 259), "Nova");
  EXPECT_EQ(readInt(file, "General", "PosX", -5), -5);
  EXPECT_TRUE(sectionNames(file).empty());

  ASSERT_TRUE(writeText(file, "General", "Instrument", "Virus"));
  EXPECT_EQ(readFile(file), "[General]\nInstrument=Virus\n");
  EXPECT_EQ(readText(file, "general", "INSTRUMENT", "Nova", 259), "Virus");
}

TEST(ProfileTest, CapacityCutsValueAndFallback) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  writeFile(file, "[S]\nName=abcdef\n");
  EXPECT_EQ(readText(file, "S", "Name", "", 3), "abc");
  EXPECT_EQ(readText(file, "S", "Name", "", 6), "abcdef");
  EXPECT_EQ(readText(file, "S", "Other", "fallback", 4), "fall");
  EXPECT_EQ(readText(file, "S", "Name", "", 0), "");
}

TEST(ProfileTest, CrLfFilesReadAndKeepTheirLineEnds) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  writeFile(file, "[General]\r\nWidth=640\r\n[Other]\r\nX=1");
  EXPECT_EQ(readInt(file, "General", "Width", 0), 640);
  EXPECT_EQ(readText(file, "Other", "X", "", 10), "1");
  ASSERT_TRUE(writeInt(file, "General", "Height", 480));
  ASSERT_TRUE(writeInt(file, "Other", "Y", 2));
  EXPECT_EQ(readFile(file), "[General]\r\nWidth=640\r\nHeight=480\r\n[Other]\r\nX=1\r\nY=2\r\n");
}

TEST(ProfileTest, WriteKeepsEveryOtherLine) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  writeFile(file, kSample);
  ASSERT_TRUE(writeText(file, "general", "dup", "new"));        // replaces the first Dup
  ASSERT_TRUE(writeText(file, "MATRIX-1000", "Added", "yes"));  // after the section's last entry
  ASSERT_TRUE(writeInt(file, "Fresh", "Count", -42));           // new section at the end
  std::string expected = kSample;
  expected.replace(expected.find("Dup=first"), 9, "dup=new");
  expected.insert(expected.find("[]\n"), "Added=yes\n");
  expected += "[Fresh]\nCount=-42\n";
  EXPECT_EQ(readFile(file), expected);
  EXPECT_EQ(readText(file, "General", "Dup", "", 20), "new");
  EXPECT_EQ(readInt(file, "fresh", "count", 0), -42);
}

TEST(ProfileTest, NewKeyGoesBeforeCommentsThatLeadIntoTheNextSection) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  writeFile(file, "[A]\nX=1\n\n; the B section\n[B]\nY=2");
  ASSERT_TRUE(writeText(file, "A", "Z", "3"));
  ASSERT_TRUE(writeText(file, "B", "W", "4"));
  EXPECT_EQ(readFile(file), "[A]\nX=1\nZ=3\n\n; the B section\n[B]\nY=2\nW=4\n");
}

TEST(ProfileTest, EmptySectionNameIsWrittenAndRead) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  ASSERT_TRUE(writeText(file, "", "LastPath0", "/home/u/"));
  ASSERT_TRUE(writeText(file, "General", "Instrument", "Nova"));
  ASSERT_TRUE(writeText(file, "", "LastPath1", "/tmp/"));
  EXPECT_EQ(readFile(file),
            "[]\nLastPath0=/home/u/\nLastPath1=/tmp/\n[General]\nInstrument=Nova\n");
  EXPECT_EQ(readText(file, "", "lastpath1", "", 259), "/tmp/");
}

TEST(ProfileTest, NothingIsCachedBetweenCalls) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  writeFile(file, "[General]\nInstrument=Nova\n");
  EXPECT_EQ(readText(file, "General", "Instrument", "", 259), "Nova");
  writeFile(file, "[General]\nInstrument=Matrix\n");  // changed behind our back
  EXPECT_EQ(readText(file, "General", "Instrument", "", 259), "Matrix");
  ASSERT_TRUE(writeText(file, "General", "Instrument", "Virus"));
  EXPECT_EQ(readText(file, "General", "Instrument", "", 259), "Virus");
}

TEST(ProfileTest, WritesThatWouldBreakTheFileAreRefusedAndChangeNothing) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  writeFile(file, "[A]\nX=1\n");
  EXPECT_FALSE(writeText(file, "A", "Key", "two\nlines"));
  EXPECT_FALSE(writeText(file, "A", "Ke=y", "v"));
  EXPECT_FALSE(writeText(file, "A", "", "v"));
  EXPECT_FALSE(writeText(file, "A", "[B]", "v"));
  EXPECT_FALSE(writeText(file, "A]", "Key", "v"));
  EXPECT_FALSE(writeText(file, "A\r\n[B", "Key", "v"));
  EXPECT_EQ(readFile(file), "[A]\nX=1\n");
  EXPECT_FALSE(writeText(dir.file("no-folder/a.ini"), "A", "Key", "v"));
}

TEST(ProfileTest, WriteLeavesNoTemporaryFileBehind) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(writeInt(file, "A", "N", i));
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().filename(), "a.ini");
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST(ProfileTest, ConcurrentWritesAreAllKept) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  std::thread other([&file] {
    for (int i = 0; i < 50; ++i) writeInt(file, "A", "Other" + std::to_string(i), i);
  });
  for (int i = 0; i < 50; ++i) writeInt(file, "B", "Mine" + std::to_string(i), i);
  other.join();
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(readInt(file, "A", "Other" + std::to_string(i), -1), i);
    EXPECT_EQ(readInt(file, "B", "Mine" + std::to_string(i), -1), i);
  }
}

TEST(ProfileTest, SectionNamesInFileOrder) {
  TempDir dir;
  const std::string file = dir.file("a.idf");
  writeFile(file, kSample);
  EXPECT_EQ(sectionNames(file),
            (std::vector<std::string>{"General", "Matrix-1000", "", "general"}));
}

}  // namespace
}  // namespace banklore
