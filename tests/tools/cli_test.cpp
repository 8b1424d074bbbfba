// banklore-cli end to end: each subcommand once, and the exit codes for bad input (1) and bad
// usage (2), each with one line on stderr.
#include <gtest/gtest.h>

#include <algorithm>

#include "files/midi_file.h"
#include "platform/temp_dir.h"
#include "support/program_run.h"

namespace banklore {

using Bytes = std::vector<std::uint8_t>;

// Small: PatchSize 11, F0 7D <device> 10 <bank> <program>, name at 6..8, checksum at 9, F7.
constexpr char kDefinitions[] =
    "[Small]\nSend=f0,7d,u1,10,t1,s1\nRequest=f0,7d,u1,11,t1,s1,f7\nPatchSelect=f0,7e,t1,s1,f7\n"
    "BankOffset=0\nDataSize=4\nNamePos=0\nNameLen=3\nDeviceIDNames=One,Two\nDeviceIDBytes=0,3,16\n"
    "ChecksumType=Range:6-8\nSendChecksumPos=-1\nBankNames=U,,X\n"
    "[Broken]\nNumPatchesPerBank=0\nNumTotalPatches=64\n";

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(dir_.file("test.idf"), kDefinitions); }
  // Runs the tool with `arguments` and the test definitions; its exit code.
  int run(const std::string& arguments, const std::string& instrument = "Small") {
    const test::ProgramResult ran = test::runProgram(
        BANKLORE_CLI, arguments + " --idf " + dir_.file("test.idf") + " --instrument " + instrument);
    out_ = ran.out;
    err_ = ran.err;
    return ran.exitCode;
  }
  bool printed(const std::string& line) const { return out_.find("\n" + line + "\n") != out_.npos; }
  TempDir dir_;
  std::string out_, err_;
};

TEST_F(CliTest, DefinitionRequestAndPatchHeaderPrintWhatTheyResolve) {
  ASSERT_EQ(run("definition"), 0) << err_;
  for (const char* line :
       {"PatchSize: 11", "NameOffset: 6", "SendChecksumPos: 9", "Bank 1: \"\"",
        "Device 1: 03 \"Two\"", "Device 2: 10 \"\"", "FirstLabel: U000", "LastLabel: B127"}) {
    EXPECT_TRUE(printed(line)) << line << "\n" << out_;
  }
  ASSERT_EQ(run("definition", "Nova"), 0);
  EXPECT_NE(out_.find("(no section [Nova]: built-in values)"), std::string::npos) << out_;
  EXPECT_EQ(run("request 3 --device 2"), 0);
  EXPECT_EQ(out_, "F0 7E 00 03 F7\nF0 7D 10 11 00 03 F7\n");
  EXPECT_EQ(run("request 130", "Nova"), 0);
  EXPECT_EQ(out_, "F0 00 20 29 01 21 13 00 02 F7\n");
  EXPECT_EQ(run("patch-header 130 --device 1"), 0);
  EXPECT_EQ(out_, "F0 7E 01 02 F7\nF0 7D 03 10 01 02\n");
}

TEST_F(CliTest, InspectReportsEachPacket) {
  const Bytes good = {0xF0, 0x7D, 0, 0x10, 0, 1, 'A', 'a', 'a', 0x03, 0xF7};  // 41 + 61 + 61
  Bytes wrongByte = good, earlyEnd = good;
  wrongByte[3] = 0x11;
  earlyEnd[7] = 0xF7;
  std::string syx;
  for (const Bytes& p : {good, wrongByte, earlyEnd, Bytes(good.begin(), good.begin() + 7)})
    syx.append(p.begin(), p.end());
  writeFile(dir_.file("bank.syx"), syx);
  // The same packets as SysEx events of a MIDI file are judged the same: the F7 in the name of
  // packet 2 ends it early whichever file it came in.
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open(dir_.file("bank.mid"), 96));
  for (const Bytes& p : {good, wrongByte, earlyEnd, Bytes(good.begin(), good.begin() + 7)})
    ASSERT_TRUE(writer.WriteSysEx(p, 0));
  ASSERT_TRUE(writer.Close());
  const std::string report =
      "0: 11 bytes, valid, slot 1 U001, name \"Aaa\", checksum ok (03)\n"
      "1: 11 bytes, invalid: wrong template byte at offset 3, slot 1 U001, name \"Aaa\", "
      "checksum ok (03)\n"
      "2: 11 bytes, invalid: F7 misplaced at offset 7, slot 1 U001, name \"A?a\", checksum "
      "wrong (stored 03, computed 19)\n"
      "3: 7 bytes, invalid: wrong length (7, expected 11), slot 1 U001, name \"A  \", "
      "checksum outside the packet\n";
  for (const char* file : {"bank.syx", "bank.mid"}) {
    ASSERT_EQ(run("inspect " + dir_.file(file)), 0) << err_;
    EXPECT_EQ(out_, report + "4 packets: 1 valid, 3 invalid; checksums 2 ok, 1 wrong\n") << file;
  }
  // Cut inside packet 2's event (13 bytes each from offset 22): the packets before it are shown.
  writeFile(dir_.file("cut.mid"), readFile(dir_.file("bank.mid")).substr(0, 50));
  EXPECT_EQ(run("inspect " + dir_.file("cut.mid")), 1);
  EXPECT_EQ(out_, report.substr(0, report.find("2: ")) +
                      "2 packets: 1 valid, 1 invalid; checksums 2 ok, 0 wrong\n");
  EXPECT_EQ(err_, "banklore-cli: " + dir_.file("cut.mid") +
                      " is damaged after byte 48; nothing after that was read\n");
}

TEST_F(CliTest, BadUsageExitsWithTwoAndUnreadableInputWithOne) {
  for (const char* usage : {"", "frobnicate", "request", "request abc", "request 256",
                            "patch-header 1 --device 256", "inspect", "definition --colour"}) {
    EXPECT_EQ(run(usage), 2) << usage;
    EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << usage << ": " << err_;
  }
  EXPECT_EQ(run("request 64", "Broken"), 2);
  EXPECT_NE(err_.find("NumPatchesPerBank 0"), std::string::npos) << err_;
  EXPECT_NE(err_.find("slot 64 is outside 0..63"), std::string::npos) << err_;
  writeFile(dir_.file("not.mid"), "MThd, but no MIDI file");
  for (const std::string& input :
       {std::string("inspect no-such.syx"), "inspect " + dir_.file("not.mid"), "inspect " + dir_.path}) {
    EXPECT_EQ(run(input), 1) << input;
    EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << input << ": " << err_;
    EXPECT_EQ(out_, "") << input;
  }
  EXPECT_EQ(test::runProgram(BANKLORE_CLI, "definition --idf no.idf").exitCode, 1);
  const std::string full = std::string("exec ") + BANKLORE_CLI + " definition >/dev/full";
  EXPECT_EQ(test::Program({"/bin/sh", "-c", full}).finish().exitCode, 1);
}

}  // namespace banklore
