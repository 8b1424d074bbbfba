#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "files/midi_file.h"
#include "tools/support/run_cli.h"

namespace banklore {
namespace {

using testing::CliResult;
using testing::runCli;
using testing::TempFile;

// PatchSize 11: F0 7D <device> 10 <bank> <program>, name at 6..8, checksum at 9, F7.
const char* const kDefinitions =
    "[Small]\n"
    "Send=f0,7d,u1,10,t1,s1\nRequest=f0,7d,u1,11,t1,s1,f7\nPatchSelect=f0,7e,t1,s1,f7\n"
    "BankOffset=0\nNumTotalPatches=256\nDataSize=4\nFooterSize=1\nNamePos=0\nNameLen=3\n"
    "DeviceIDNames=One,Two\nDeviceIDBytes=0,3,16\nChecksumType=Range:6-8\nSendChecksumPos=-1\n"
    "Settings=Small synth\nBankNames=U,,X\n"
    "[Broken]\n"
    "NumPatchesPerBank=0\nNumTotalPatches=64\n"
    "[NovaDump]\n"
    "Send=f0,00,20,29,01,21,ff,02,t1,s1\nDataSize=286\nNamePos=0\n";

using Bytes = std::vector<std::uint8_t>;

Bytes smallPatch(std::uint8_t program, const char* name) {
  Bytes patch = {0xF0,
                 0x7D,
                 0x00,
                 0x10,
                 0x00,
                 program,
                 static_cast<std::uint8_t>(name[0]),
                 static_cast<std::uint8_t>(name[1]),
                 static_cast<std::uint8_t>(name[2]),
                 0x00,
                 0xF7};
  patch[9] = static_cast<std::uint8_t>((patch[6] + patch[7] + patch[8]) & 0x7F);
  return patch;
}

std::string text(const std::vector<Bytes>& packets) {
  std::string all;
  for (const Bytes& p : packets) all.append(p.begin(), p.end());
  return all;
}

bool hasLine(const CliResult& result, const std::string& line) {
  const auto lines = result.lines();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class CliTest : public ::testing::Test {
 protected:
  std::vector<std::string> with(std::vector<std::string> arguments, const char* instrument) {
    arguments.insert(arguments.end(), {"--idf", idf_.path(), "--instrument", instrument});
    return arguments;
  }
  TempFile idf_{".idf", kDefinitions};
};

TEST_F(CliTest, DefinitionPrintsEveryResolvedField) {
  const CliResult result = runCli(with({"definition"}, "Small"));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  for (const char* line : {"Instrument: Small",
                           "Settings: Small synth",
                           "HeaderSize: 6",
                           "DataSize: 4",
                           "FooterSize: 1",
                           "PatchSize: 11",
                           "NameOffset: 6",
                           "NameLen: 3",
                           "SendChecksumPos: 9",
                           "ChecksumType: Range:6-8",
                           "RequestChecksumType: Range:6-8",
                           "BankCount: 3",
                           "Bank 0: \"U\"",
                           "Bank 1: \"\"",
                           "Bank 2: \"\"",
                           "DeviceCount: 3",
                           "Device 1: 03 \"Two\"",
                           "Device 2: 10 \"\"",
                           "FirstLabel: U000",
                           "LastLabel: B127",
                           "PatchSelect: f0,7e,t1,s1,f7",
                           "NumPatchesPerBank: 128",
                           "BankOffset: 0"}) {
    EXPECT_TRUE(hasLine(result, line)) << line << "\n" << result.out;
  }
}

TEST_F(CliTest, DefinitionWithoutTheSectionIsTheBuiltInNova) {
  const CliResult result = runCli({"definition", "--idf", idf_.path()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  for (const char* line : {"Instrument: Nova", "HeaderSize: 8", "PatchSize: 295", "NameOffset: 18",
                           "BankOffset: 5", "DeviceCount: 16", "LastLabel: B127"}) {
    EXPECT_TRUE(hasLine(result, line)) << line;
  }
  EXPECT_NE(result.out.find("no section [Nova]"), std::string::npos);
}

TEST_F(CliTest, DefaultDefinitionFileLiesBesideTheTool) {
  const std::string beside =
      std::filesystem::path(BANKLORE_CLI).parent_path().string() + "/banklore.idf";
  const CliResult result = runCli({"definition"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string expected = std::filesystem::exists(beside)
                                   ? "DefinitionFile: " + beside
                                   : "DefinitionFile: (none: built-in values)";
  EXPECT_TRUE(hasLine(result, expected)) << result.out;
  EXPECT_TRUE(hasLine(result, "Instrument: Nova"));
}

TEST_F(CliTest, DefinitionShowsCorrectionsOnStderr) {
  const CliResult result = runCli(with({"definition"}, "Broken"));
  ASSERT_EQ(result.exitCode, 0);
  EXPECT_TRUE(hasLine(result, "NumPatchesPerBank: 64"));
  EXPECT_NE(result.err.find("NumPatchesPerBank 0"), std::string::npos) << result.err;
}

TEST_F(CliTest, CorrectionsAndErrorsBothReachStderr) {
  const CliResult result = runCli(with({"request", "64"}, "Broken"));
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("NumPatchesPerBank 0"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("slot 64 is outside 0..63"), std::string::npos) << result.err;
}

TEST_F(CliTest, OptionsMayComeBeforeTheSubcommand) {
  const CliResult result =
      runCli({"--idf", idf_.path(), "--instrument", "Small", "request", "3", "--device", "2"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "F0 7E 00 03 F7\nF0 7D 10 11 00 03 F7\n");
}

TEST_F(CliTest, RequestUnderTheBuiltInDefinition) {
  EXPECT_EQ(runCli(with({"request", "5"}, "Nova")).out, "F0 00 20 29 01 21 13 00 05 F7\n");
  EXPECT_EQ(runCli(with({"request", "130"}, "Nova")).out, "F0 00 20 29 01 21 13 00 02 F7\n");
}

TEST_F(CliTest, PatchHeaderNamesSlotAndDevice) {
  const CliResult result = runCli(with({"patch-header", "130", "--device", "1"}, "Small"));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "F0 7E 01 02 F7\nF0 7D 03 10 01 02\n");
  EXPECT_EQ(runCli(with({"patch-header", "0"}, "Nova")).out, "F0 00 20 29 01 21 FF 02\n");
}

TEST_F(CliTest, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"request"},
      {"request", "abc"},
      {"request", "256"},
      {"request", "-1"},
      {"patch-header", "1", "--device", "256"},
      {"inspect"},
      {"definition", "--colour"},
  };
  for (const auto& arguments : cases) {
    const CliResult result = runCli(with(arguments, "Small"));
    EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(arguments);
    EXPECT_FALSE(result.err.empty());
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
}

TEST_F(CliTest, UnreadableInputExitsWithOne) {
  const TempFile notMidi(
      ".mid", "MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60MTrk\x00\x00\x00\x10\x00\xF0");
  const std::vector<std::vector<std::string>> cases = {
      {"definition", "--idf", std::string(BANKLORE_TEST_TMPDIR) + "/no-such.idf"},
      {"inspect", std::string(BANKLORE_TEST_TMPDIR) + "/no-such.syx", "--idf", idf_.path()},
      {"inspect", notMidi.path(), "--idf", idf_.path()},
      {"inspect", BANKLORE_TEST_TMPDIR, "--idf", idf_.path()},  // a folder
  };
  for (const auto& arguments : cases) {
    const CliResult result = runCli(arguments);
    EXPECT_EQ(result.exitCode, 1) << ::testing::PrintToString(arguments);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_TRUE(result.out.empty());
  }
}

TEST_F(CliTest, InspectSyxReportsEachPacket) {
  Bytes wrongByte = smallPatch(2, "Bbb");
  wrongByte[3] = 0x11;
  Bytes earlyEnd = smallPatch(3, "Ccc");
  earlyEnd[7] = 0xF7;
  Bytes badSum = smallPatch(4, "Ddd");
  badSum[9] = 0x01;
  const TempFile syx(
      ".syx", text({smallPatch(1, "Aaa"), wrongByte, earlyEnd, badSum, Bytes{0xF0, 0x7D, 0x00}}));
  const CliResult result = runCli(with({"inspect", syx.path()}, "Small"));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto lines = result.lines();
  ASSERT_EQ(lines.size(), 6u) << result.out;
  EXPECT_EQ(lines[0],
            "0: 11 bytes, valid, slot 1 U001, name \"Aaa\", checksum ok (03)");  // 41 + 61 + 61
  EXPECT_NE(lines[1].find("invalid: wrong template byte at offset 3"), std::string::npos);
  EXPECT_NE(lines[2].find("invalid: F7 misplaced at offset 7"), std::string::npos);
  EXPECT_NE(lines[3].find("valid, slot 4 U004, name \"Ddd\", checksum wrong (stored 01, computed "
                          "0C)"),
            std::string::npos)
      << lines[3];
  EXPECT_NE(lines[4].find("3 bytes, invalid: wrong length (3, expected 11)"), std::string::npos);
  EXPECT_EQ(lines[5], "5 packets: 2 valid, 3 invalid; checksums 2 ok, 2 wrong");
}

TEST_F(CliTest, InspectMidiFileReadsItsSysExEvents) {
  const std::string path = std::string(BANKLORE_TEST_TMPDIR) + "/cli-inspect.mid";
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open(path, 96));
  Bytes longer = smallPatch(9, "Lng");
  longer.insert(longer.end(), {0x00, 0xF7});
  for (const Bytes& message : {smallPatch(7, "Mid"), Bytes{0xF0, 0x01, 0xF7}, longer}) {
    ASSERT_TRUE(writer.WriteSysEx(message, 0));
  }
  ASSERT_TRUE(writer.Close());
  const CliResult result = runCli(with({"inspect", path}, "Small"));
  std::filesystem::remove(path);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto lines = result.lines();
  ASSERT_EQ(lines.size(), 4u) << result.out;
  EXPECT_EQ(lines[0], "0: 11 bytes, valid, slot 7 U007, name \"Mid\", checksum ok (1A)");
  EXPECT_NE(lines[1].find("wrong length (3, expected 11)"), std::string::npos);
  EXPECT_NE(lines[2].find("13 bytes, valid (2 bytes past the patch ignored), slot 9"),
            std::string::npos)
      << lines[2];
  EXPECT_EQ(lines[3], "3 packets: 2 valid, 1 invalid; checksums 2 ok, 0 wrong");
}

TEST_F(CliTest, InspectEmptyFile) {
  const TempFile empty(".syx", "");
  const CliResult result = runCli(with({"inspect", empty.path()}, "Small"));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "0 packets: 0 valid, 0 invalid\n");
}

TEST_F(CliTest, InspectRealNovaBank) {
  const std::string file =
      std::string(BANKLORE_REALDATA_DIR) + "/novation_supernova/nova_preset_banks_a_and_b.syx";
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "real data file " << file << " is absent";
  const CliResult result = runCli(with({"inspect", file}, "NovaDump"));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto lines = result.lines();
  ASSERT_EQ(lines.size(), 257u);
  EXPECT_EQ(lines[0], "0: 297 bytes, valid, slot 0 A000, name \"Sintillator M-Wh\", checksum none");
  EXPECT_EQ(lines[255],
            "255: 297 bytes, valid, slot 255 B127, name \"Init Program    \", checksum none");
  EXPECT_EQ(lines[256], "256 packets: 256 valid, 0 invalid");
}

}  // namespace
}  // namespace banklore
