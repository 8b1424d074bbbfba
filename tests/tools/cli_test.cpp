// banklore-cli as a program: each subcommand once, and the exit codes for bad usage (2) and for
// input or files that cannot be used (1), each with one line on stderr saying why.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include "archive/patch_archive.h"
#include "files/midi_file.h"
#include "platform/temp_dir.h"
#include "support/program_run.h"

namespace banklore {

using Bytes = std::vector<std::uint8_t>;

// Small: PatchSize 11, F0 7D <device> 10 <bank> <program>, name at 6..8, checksum at 9, F7.
constexpr char kDefinitions[] =
    "[Small]\nSettings=Small\nSend=f0,7d,u1,10,t1,s1\nRequest=f0,7d,u1,11,t1,s1,f7\nPatchSelect=f0,7e,t1,s1,f7\n"
    "Audition=f0,7d,u1,12\nBankOffset=0\nDataSize=4\nNamePos=0\nNameLen=3\nDeviceIDNames=One,Two\nDeviceIDBytes=0,3,16\n"
    "ChecksumType=Range:6-8\nSendChecksumPos=-1\nBankNames=U,,X\n"
    "[Broken]\nNumPatchesPerBank=0\nNumTotalPatches=64\n";

std::string text(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(dir_.file("test.idf"), kDefinitions);
    writeFile(dir_.file("banklore.ini"),
              "[General]\nInstrument=Small\n[Small]\nMidiIN=synth:out\nMidiOUT=synth:in\n");
    writeFile(dir_.file("empty.ini"), "");
    writeFile(dir_.file("other.ini"), "[General]\nInstrument=Elsewhere\n");
  }
  // Runs the tool with `arguments` and the test definitions, on a MIDI system without ports; its
  // exit code.
  int run(const std::string& arguments) {
    const test::ProgramResult ran =
        test::Program(test::commandLine(BANKLORE_CLI, arguments + " --idf " + dir_.file("test.idf")),
                      "", {"BANKLORE_MIDI_API=loopback", "TZ=UTC"})
            .finish();
    out_ = ran.out;
    err_ = ran.err;
    return ran.exitCode;
  }
  bool printed(const std::string& line) const { return out_.find("\n" + line + "\n") != out_.npos; }
  TempDir dir_;
  std::string out_, err_;
  const std::string small_ = " --instrument Small";
  const std::string ini_ = " --ini " + dir_.file("banklore.ini") + " ";
};

TEST_F(CliTest, DefinitionRequestAndPatchHeaderPrintWhatTheyResolve) {
  ASSERT_EQ(run("definition" + small_), 0) << err_;
  for (const char* line :
       {"PatchSize: 11", "NameOffset: 6", "SendChecksumPos: 9", "Bank 1: \"\"",
        "Device 1: 03 \"Two\"", "Device 2: 10 \"\"", "FirstLabel: U000", "LastLabel: B127"}) {
    EXPECT_TRUE(printed(line)) << line << "\n" << out_;
  }
  ASSERT_EQ(run("definition --instrument Nova"), 0);
  EXPECT_NE(out_.find("(no section [Nova]: built-in values)"), std::string::npos) << out_;
  EXPECT_EQ(run("request 3 --device 2" + small_), 0);
  EXPECT_EQ(out_, "F0 7E 00 03 F7\nF0 7D 10 11 00 03 F7\n");
  EXPECT_EQ(run("request 130 --instrument Nova"), 0);
  EXPECT_EQ(out_, "F0 00 20 29 01 21 13 00 02 F7\n");
  EXPECT_EQ(run("patch-header 130 --device 1" + small_), 0);
  EXPECT_EQ(out_, "F0 7E 01 02 F7\nF0 7D 03 10 01 02\n");
}

TEST_F(CliTest, InspectReportsEachPacket) {
  const Bytes good = {0xF0, 0x7D, 0, 0x10, 0, 1, 'A', 'a', 'a', 0x03, 0xF7};  // 41 + 61 + 61
  Bytes wrongByte = good, earlyEnd = good;
  wrongByte[3] = 0x11;
  earlyEnd[7] = 0xF7;
  std::string syx;
  // The same packets as SysEx events of a MIDI file are judged the same: the F7 in the name of
  // packet 2 ends it early whichever file it came in.
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open(dir_.file("bank.mid"), 96));
  for (const Bytes& p : {good, wrongByte, earlyEnd, Bytes(good.begin(), good.begin() + 7)}) {
    syx += text(p);
    ASSERT_TRUE(writer.WriteSysEx(p, 0));
  }
  ASSERT_TRUE(writer.Close());
  writeFile(dir_.file("bank.syx"), syx);
  const std::string report =
      "0: 11 bytes, valid, slot 1 U001, name \"Aaa\", checksum ok (03)\n"
      "1: 11 bytes, invalid: wrong template byte at offset 3, slot 1 U001, name \"Aaa\", "
      "checksum ok (03)\n"
      "2: 11 bytes, invalid: F7 misplaced at offset 7, slot 1 U001, name \"A?a\", checksum "
      "wrong (stored 03, computed 19)\n"
      "3: 7 bytes, invalid: wrong length (7, expected 11), slot 1 U001, name \"A  \", "
      "checksum outside the packet\n";
  for (const char* file : {"bank.syx", "bank.mid"}) {
    ASSERT_EQ(run("inspect " + dir_.file(file) + small_), 0) << err_;
    EXPECT_EQ(out_, report + "4 packets: 1 valid, 3 invalid; checksums 2 ok, 1 wrong\n") << file;
  }
  // Cut inside packet 2's event (13 bytes each from offset 22): the packets before it are shown.
  writeFile(dir_.file("cut.mid"), readFile(dir_.file("bank.mid")).substr(0, 50));
  EXPECT_EQ(run("inspect " + dir_.file("cut.mid") + small_), 1);
  EXPECT_EQ(out_, report.substr(0, report.find("2: ")) +
                      "2 packets: 1 valid, 1 invalid; checksums 2 ok, 0 wrong\n");
  EXPECT_EQ(err_, "banklore-cli: " + dir_.file("cut.mid") +
                      " is damaged after byte 48; nothing after that was read\n");
}

TEST_F(CliTest, BadUsageExitsWithTwoAndUnusableInputWithOneBeforeAnythingIsSent) {
  writeFile(dir_.file("not.mid"), "MThd, but no MIDI file");
  writeFile(dir_.file("junk.syx"), std::string(33, '\x7F'));
  writeFile(dir_.file("one.syx"), text({0xF0, 0x7D, 0, 0x10, 0, 1, 'A', 'a', 'a', 0x03, 0xF7}));
  const std::string one = ini_ + dir_.file("one.syx");
  ASSERT_EQ(::mkfifo(dir_.file("fifo.syx").c_str(), 0600), 0);
  const std::string empty = " --ini " + dir_.file("empty.ini") + small_ + " ";
  const std::string file = " " + dir_.file("backup.syx");
  struct Case {
    std::string arguments;
    int code;
    std::string why;
  };
  const Case cases[] = {
      {"", 2, ""}, {"frobnicate", 2, ""}, {"request" + small_, 2, ""},
      {"request abc" + small_, 2, ""}, {"request 256" + small_, 2, ""},
      {"patch-header 1 --device 256" + small_, 2, ""}, {"inspect" + small_, 2, ""},
      {"definition --colour" + small_, 2, ""},
      {"fetch" + ini_, 2, "FILE is required"},
      {"send" + ini_, 2, "FILE is required"},
      {"fetch" + ini_ + dir_.file("backup.txt"), 2, "must end in .syx or .mid"},
      {"fetch --slots 0-256" + ini_ + file, 2, "slot 256 is outside 0..255"},
      {"fetch --slots 9-2" + ini_ + file, 2, "runs backwards"},
      {"fetch --slots ,3" + ini_ + file, 2, "an empty item"},
      {"fetch --device 256" + ini_ + file, 2, "--device"},
      {"fetch --delay 1001" + ini_ + file, 2, "--delay"},
      {"fetch --delay -1" + ini_ + file, 2, "--delay"},
      {"fetch --instrument Nowhere" + ini_ + file, 2, "no section [Nowhere]"},
      {"fetch --colour" + ini_ + file, 2, "--colour"},
      {"send --slots 1" + ini_ + file, 2, "--slots"},
      {"fetch" + empty + file, 2, "no MIDI input: give --in NAME, or MidiIN in [Small] of"},
      {"fetch --in synth:out" + empty + file, 2,
       "no MIDI output: give --out NAME, or MidiOUT in [Small] of"},
      {"send" + empty + file, 2, "no MIDI output: give --out NAME"},
      {"audition" + ini_, 2, "FILE is required"},
      {"audition --delay 1" + one, 2, "--delay"},
      {"audition" + one + " U1", 2, "\"U1\" is no slot of Small (a label from U000 to B127, or"},
      {"audition" + one + " 3-5", 2, "\"3-5\" is no slot of Small"},
      {"audition --out x --instrument Nova " + dir_.file("one.syx"), 1,
       "The definition of Nova has no Audition key: its patches cannot be played in the edit "
       "buffer."},
      {"audition" + ini_ + dir_.file("junk.syx"), 1, "junk.syx holds no patch for Small"},
      {"audition" + one + " u002", 1, "one.syx holds no patch for slot U002 (its 1 go to U001"},
      {"audition" + one + " 1", 1, "there is no MIDI output named synth:in"},
      {"detect --timeout 0", 2, "--timeout"},
      {"detect", 1, "No instrument answered the identity request on 0 outputs."},
      {"inspect no-such.syx" + small_, 1, "no-such.syx"},
      {"inspect " + dir_.file("not.mid") + small_, 1, "not.mid"},
      {"inspect " + dir_.path + small_, 1, dir_.path},
      {"inspect " + dir_.file("fifo.syx") + small_, 1, "fifo.syx"},  // not opened: it would block
      {"archive --export x.txt" + small_, 2, "--export needs a .syx or .mid file"},
      {"archive --instrument * --export x.syx", 2, "--export takes one instrument's patches"},
      {"fetch --ini " + dir_.file("none.ini") + " x.syx", 1, "cannot read the settings file"},
      {"fetch" + ini_ + dir_.file("no/such/folder/backup.syx"), 1, "cannot write"},
      {"send" + ini_ + dir_.file("missing.syx"), 1, "cannot read"},
      {"send" + ini_ + dir_.file("junk.syx"), 1, "3 packets are not a patch of Small"},
      // An instrument the settings name but the definitions do not hold.
      {"send --ini " + dir_.file("other.ini") + " " + dir_.file("junk.syx"), 1,
       "no section [Elsewhere]"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.arguments), c.code) << c.arguments << "\n" << err_;
    EXPECT_NE(err_.find(c.why), std::string::npos) << c.arguments << "\n" << err_;
    EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << c.arguments << "\n" << err_;
    const bool junk = c.why.starts_with("3 packets");
    EXPECT_EQ(out_, junk ? "Sent 0 patches: " + dir_.file("junk.syx") + " holds none for Small.\n" : "")
        << c.arguments;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.file("backup.syx")));
  // The definition's correction comes first.
  EXPECT_EQ(run("request 64 --instrument Broken"), 2);
  EXPECT_NE(err_.find("NumPatchesPerBank 0"), std::string::npos) << err_;
  EXPECT_NE(err_.find("slot 64 is outside 0..63"), std::string::npos) << err_;
  EXPECT_EQ(test::runProgram(BANKLORE_CLI, "definition --idf no.idf").exitCode, 1);
  const std::string full = std::string("exec ") + BANKLORE_CLI + " definition >/dev/full";
  EXPECT_EQ(test::Program({"/bin/sh", "-c", full}).finish().exitCode, 1);
}

// What of a bank file cannot go out is said before a port is opened: packets that are not a
// patch, and patches a later one for the same slot replaces. A file that starts like a MIDI file is read as one, whatever its name.
TEST_F(CliTest, SendSaysWhatOfTheFileCannotGoOut) {
  const auto patch = [](int bank, int program, char letter) {
    const auto at = [](int n) { return static_cast<std::uint8_t>(n); };
    return Bytes{0xF0, 0x7D, 0, 0x10, at(bank), at(program), at(letter), 'a', 'a', 0, 0xF7};
  };
  Bytes wrong = patch(0, 3, 'W');
  wrong[3] = 0x11;
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open(dir_.file("bank.syx"), 96));
  for (const Bytes& p : {patch(0, 4, 'X'), wrong, patch(0, 4, 'Z')}) {
    ASSERT_TRUE(writer.WriteSysEx(p, 0));
  }
  ASSERT_TRUE(writer.Close());
  EXPECT_EQ(run("send" + ini_ + dir_.file("bank.syx")), 1);
  const std::string prefix = "banklore-cli: " + dir_.file("bank.syx") + ": ";
  const std::string told = prefix + "1 packet is not a patch of Small; not sent\n" + prefix +
                           "1 patch replaced by a later one for the same slot\n";
  EXPECT_EQ(err_.substr(0, told.size()), told);
  EXPECT_NE(err_.find("there is no MIDI output named synth:in"), std::string::npos) << err_;
  EXPECT_EQ(out_, "");
}

// An archive PatchArchive wrote, read back: a line per patch, newest first, of the instrument the
// settings name (or of every section with '*'), filtered by name; exported as last seen.
TEST_F(CliTest, ArchiveListsAndExportsWhatTheArchiveHolds) {
  const std::string file = dir_.file("archive.sqlite"), archive = " --archive " + file + ini_;
  EXPECT_EQ(run("archive" + archive), 1);
  EXPECT_EQ(err_, "banklore-cli: nothing archived yet (there is no " + file + ")\n");
  EXPECT_FALSE(std::filesystem::exists(file));
  const Bytes inU001 = {0xF0, 0x7D, 0, 0x10, 0, 1, 'A', 'a', 'a', 0x03, 0xF7};
  const Bytes bbb = {0xF0, 0x7D, 0, 0x10, 0, 2, 'B', 'b', 'b', 0, 0xF7};
  Bytes inU005 = inU001;  // the same sound in another slot: the same patch
  inU005[5] = 5;
  const PatchArchive::Opened opened = PatchArchive::open(file);  // open beside the tool's reads
  ASSERT_TRUE(opened.archive) << opened.problem;
  const auto note = [&](const char* section, const Bytes& m, const char* name, ArchiveAction action,
                        std::int64_t time) {
    const SeenPatch seen{m, Bytes(m.begin() + 6, m.end()), name, "U00" + std::to_string(m[5])};
    EXPECT_EQ(opened.archive->record(section, {&seen, 1}, action, "/x/b.syx", time), std::nullopt);
  };
  note("Small", inU001, "Aaa", ArchiveAction::Fetched, 1796652125);
  note("Small", bbb, "Bbb", ArchiveAction::Sent, 1796652185);
  note("Other", bbb, "Bbb", ArchiveAction::Saved, 1796652186);
  note("Small", inU005, "Aaa", ArchiveAction::Loaded, 1796738525);
  const std::string a = "Small\tAaa\t2026-12-07T14:02:05\t2026-12-08T14:02:05\t2\tloaded from /x/b.syx\n",
                    b = "Small\tBbb\t2026-12-07T14:03:05\t2026-12-07T14:03:05\t1\tsent to U002\n",
                    other = "Other\tBbb\t2026-12-07T14:03:06\t2026-12-07T14:03:06\t1\tsaved to /x/b.syx\n";
  for (const auto& [arguments, code, listed] :
       {std::tuple{std::string(), 0, a + b}, {" --instrument small", 0, a + b}, {" --name zzz", 1, ""},
        {" --instrument * --name bB", 0, other + b}, {" --name a --export " + dir_.file("a.syx"), 0, a}}) {
    EXPECT_EQ(run("archive" + arguments + archive), code) << arguments << err_;
    EXPECT_EQ(out_, listed) << arguments;
  }
  EXPECT_EQ(readFile(dir_.file("a.syx")), text(inU005));
}

}  // namespace banklore
