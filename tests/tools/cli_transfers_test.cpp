// banklore-cli fetch and send without an instrument: slot lists, which slots each engine run asks
// for when some never arrive, bank files read into slots and written whole or not at all, and the
// exit codes for usage errors (2) and input that cannot be used (1). The transfers themselves run
// against the virtual synth over JACK (tests/e2e/cli_transfers_over_jack_test.cpp).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cli_bank_io.h"
#include "cli_fetch_plan.h"
#include "cli_slot_list.h"
#include "files/midi_file.h"
#include "platform/temp_dir.h"

namespace banklore {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Two instruments of 16 slots with 11-byte patches: Small's patch messages name their slot
// (F0 7D <device> 10 <bank> <program> <name x3> <checksum> F7), Unnamed's do not.
constexpr char kDefinitions[] =
    "[Small]\nSettings=Small\nSend=f0,7d,u1,10,t1,s1\nRequest=f0,7d,u1,11,t1,s1,f7\n"
    "BankOffset=0\nDataSize=4\nNamePos=0\nNameLen=3\nNumPatchesPerBank=8\nNumTotalPatches=16\n"
    "DeviceIDNames=One,Two\nDeviceIDBytes=0,3\n"
    "[Unnamed]\nSend=f0,7d,u1,10\nRequest=f0,7d,u1,11,s1,f7\nDataSize=6\nNamePos=0\nNameLen=3\n"
    "NumPatchesPerBank=16\nNumTotalPatches=16\n";

Bytes smallPatch(int slot, char letter) {
  return {0xF0,
          0x7D,
          0,
          0x10,
          static_cast<std::uint8_t>(slot / 8),
          static_cast<std::uint8_t>(slot % 8),
          static_cast<std::uint8_t>(letter),
          'a',
          'a',
          0x01,
          0xF7};
}

std::string text(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// --- slot lists ----------------------------------------------------------------------------------

TEST(SlotListTest, ReadsNumbersAndRangesIntoAscendingSlotsAndPrintsThemBack) {
  struct Case {
    const char* text;
    std::vector<int> slots;
    const char* printed;
  };
  std::vector<int> firstBankAnd200(128);
  for (int i = 0; i < 128; ++i) firstBankAnd200[i] = i;
  firstBankAnd200.push_back(200);
  const Case cases[] = {
      {"0-127,200", firstBankAnd200, "0-127,200"},
      {" 5 , 3-4,4 ", {3, 4, 5}, "3-5"},
      {"9,1,2", {1, 2, 9}, "1,2,9"},  // a run of two stays two numbers
      {"255", {255}, "255"},
      {"0-0", {0}, "0"},
  };
  for (const Case& c : cases) {
    const SlotListParse parsed = parseSlotList(c.text, 256);
    EXPECT_EQ(parsed.error, "") << c.text;
    EXPECT_EQ(parsed.slots, c.slots) << c.text;
    EXPECT_EQ(formatSlotList(parsed.slots), c.printed) << c.text;
  }
}

TEST(SlotListTest, RefusesWhatNamesNoSlotOfTheInstrument) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "an empty item"},
      {"1,,2", "an empty item"},
      {"3,", "an empty item"},
      {"5-3", "the range 5-3 runs backwards"},
      {"256", "slot 256 is outside 0..255"},
      {"0-256", "slot 256 is outside 0..255"},
      {"-3", "\"-3\" is no slot number"},
      {"3-", "\"3-\" is no slot number"},
      {"A005", "\"A005\" is no slot number"},
      {"1.5", "\"1.5\" is no slot number"},
      {"+4", "\"+4\" is no slot number"},
      {"99999999999999999999", "is no slot number"},
  };
  for (const auto& [input, why] : cases) {
    const SlotListParse parsed = parseSlotList(input, 256);
    EXPECT_NE(parsed.error.find(why), std::string::npos) << input << ": " << parsed.error;
    EXPECT_TRUE(parsed.slots.empty()) << input;
  }
}

// --- which slots each run asks for -------------------------------------------------------------

TEST(FetchPlanTest, PassesOverSlotsThatDoNotArriveAsksAgainOnceAndGivesUpAfterTwoInARow) {
  struct Case {
    const char* what;
    std::vector<int> slots;
    // Each engine run: how many of its slots arrived, and the slots it was asked for.
    std::vector<std::pair<std::size_t, std::vector<int>>> runs;
    std::vector<int> missing;
    bool gaveUp;
  };
  const Case cases[] = {
      {"all arrive", {0, 1, 2}, {{3, {0, 1, 2}}}, {}, false},
      {"one fails, then arrives when asked again",
       {0, 1, 2, 3, 4},
       {{2, {0, 1, 2, 3, 4}}, {2, {3, 4}}, {1, {2}}},
       {},
       false},
      {"one fails twice",
       {0, 1, 2, 3, 4},
       {{2, {0, 1, 2, 3, 4}}, {2, {3, 4}}, {0, {2}}},
       {2},
       false},
      {"the last fails", {5, 6}, {{1, {5, 6}}, {0, {6}}}, {6}, false},
      {"two in a row: the instrument is gone",
       {0, 1, 2, 3, 4, 5},
       {{1, {0, 1, 2, 3, 4, 5}}, {0, {2, 3, 4, 5}}},
       {1, 2, 3, 4, 5},
       true},
      {"silent from the start", {0, 1, 2}, {{0, {0, 1, 2}}, {0, {1, 2}}}, {0, 1, 2}, true},
      {"a single silent slot is not asked again", {7}, {{0, {7}}}, {7}, false},
      {"failures apart, then both again in a row",
       {0, 1, 2, 3, 4, 5},
       {{1, {0, 1, 2, 3, 4, 5}}, {1, {2, 3, 4, 5}}, {2, {4, 5}}, {0, {1, 3}}, {0, {3}}},
       {1, 3},
       true},
  };
  for (const Case& c : cases) {
    FetchPlan plan(c.slots);
    for (const auto& [arrived, asked] : c.runs) {
      ASSERT_FALSE(plan.over()) << c.what;
      EXPECT_EQ(plan.nextRun(), asked) << c.what;
      plan.runEnded(arrived);
    }
    EXPECT_TRUE(plan.over()) << c.what;
    EXPECT_EQ(plan.missing(), c.missing) << c.what;
    EXPECT_EQ(plan.gaveUp(), c.gaveUp) << c.what;
    std::vector<int> arrived = plan.arrived();
    arrived.insert(arrived.end(), c.missing.begin(), c.missing.end());
    std::sort(arrived.begin(), arrived.end());
    EXPECT_EQ(arrived, c.slots) << c.what << ": every slot arrived or is missing";
  }
}

TEST(FetchPlanTest, AnInterruptedFetchKeepsWhatArrivedAndMissesTheRest) {
  FetchPlan plan({10, 11, 12, 13});
  plan.runEnded(2);  // ended early by the interruption: slot 12 was being awaited
  plan.stop();
  EXPECT_TRUE(plan.over());
  EXPECT_EQ(plan.arrived(), (std::vector<int>{10, 11}));
  EXPECT_EQ(plan.missing(), (std::vector<int>{12, 13}));
}

// --- bank files ----------------------------------------------------------------------------------

class CliBankFileTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(dir_.file("test.idf"), kDefinitions); }
  std::vector<Patch> bankOf(InstrumentDefinition& definition) {
    return std::vector<Patch>(static_cast<std::size_t>(definition.NumTotalPatches()),
                              Patch(definition));
  }
  TempDir dir_;
};

TEST_F(CliBankFileTest, ReadsEachPatchIntoTheSlotItNamesAndCountsWhatCannotBeSent) {
  InstrumentDefinition small(dir_.file("test.idf"), "Small", nullptr);
  Bytes wrongHeader = smallPatch(3, 'W');
  wrongHeader[3] = 0x11;
  const std::vector<Bytes> packets = {smallPatch(4, 'X'), smallPatch(9, 'Y'), wrongHeader,
                                      smallPatch(4, 'Z')};
  std::string syx;
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open(dir_.file("bank.mid"), 96));
  for (const Bytes& packet : packets) {
    syx += text(packet);
    ASSERT_TRUE(writer.WriteSysEx(packet, 0));
  }
  ASSERT_TRUE(writer.Close());
  writeFile(dir_.file("bank.syx"), syx + text(smallPatch(1, 'S')).substr(0, 7));  // cut short

  for (const char* file : {"bank.syx", "bank.mid"}) {
    std::vector<Patch> bank = bankOf(small);
    const BankFileRead read = readBankFile(dir_.file(file), small, bank);
    const bool raw = std::string(file) == "bank.syx";
    EXPECT_EQ(read.error, "") << file;
    EXPECT_EQ(read.slots, (std::vector<int>{4, 9})) << file;
    EXPECT_EQ(read.packets, raw ? 5 : 4) << file;
    EXPECT_EQ(read.wrong, raw ? 2 : 1) << file;
    EXPECT_EQ(read.replaced, 1) << file;
    EXPECT_EQ(read.outside, 0) << file;
    EXPECT_EQ(bank[4].name(), "Zaa") << file << ": the later patch for a slot wins";
    EXPECT_EQ(bank[9].name(), "Yaa") << file;
    EXPECT_EQ(bank[3].name(), "<Un") << file << ": the wrong packet went nowhere";
  }
}

TEST_F(CliBankFileTest, PatchesThatNameNoSlotFillTheSlotsInFileOrder) {
  InstrumentDefinition unnamed(dir_.file("test.idf"), "Unnamed", nullptr);
  ASSERT_EQ(unnamed.PatchSize(), 11);
  std::string syx;
  for (const char letter : {'P', 'Q', 'R'}) {
    syx += text({0xF0, 0x7D, 0, 0x10, static_cast<std::uint8_t>(letter), 'b', 'b', 0, 0, 0, 0xF7});
  }
  writeFile(dir_.file("unnamed.syx"), syx);
  std::vector<Patch> bank = bankOf(unnamed);
  const BankFileRead read = readBankFile(dir_.file("unnamed.syx"), unnamed, bank);
  EXPECT_EQ(read.slots, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(bank[0].name() + bank[1].name() + bank[2].name(), "PbbQbbRbb");
}

TEST_F(CliBankFileTest, AFileThatCannotBeReadSaysWhy) {
  InstrumentDefinition small(dir_.file("test.idf"), "Small", nullptr);
  std::vector<Patch> bank = bankOf(small);
  writeFile(dir_.file("not.mid"), "MThd, and nothing of a MIDI file after it");
  EXPECT_NE(readBankFile(dir_.file("missing.syx"), small, bank).error.find("cannot open"),
            std::string::npos);
  EXPECT_NE(readBankFile(dir_.path, small, bank).error.find("cannot open"), std::string::npos);
  EXPECT_EQ(readBankFile(dir_.file("not.mid"), small, bank).error,
            "not a readable Standard MIDI File");
}

TEST_F(CliBankFileTest, WritesRawAndMidiFilesWholeOrLeavesTheOldFile) {
  InstrumentDefinition small(dir_.file("test.idf"), "Small", nullptr);
  std::vector<Patch> bank = bankOf(small);
  bank[2].loadBytes(smallPatch(2, 'B'));
  bank[12].loadBytes(smallPatch(12, 'M'));
  const std::vector<const Patch*> patches = {&bank[2], &bank[12]};

  ASSERT_EQ(writeBankFile(dir_.file("out.syx"), BankFormat::Syx, patches), "");
  EXPECT_EQ(readFile(dir_.file("out.syx")), text(smallPatch(2, 'B')) + text(smallPatch(12, 'M')));
  ASSERT_EQ(writeBankFile(dir_.file("out.mid"), BankFormat::Mid, patches), "");
  MidiFileReader reader;
  ASSERT_TRUE(reader.Read(dir_.file("out.mid")));
  ASSERT_EQ(reader.messageCount(), 2);
  EXPECT_EQ(Bytes(reader.message(1)->begin(), reader.message(1)->end()), smallPatch(12, 'M'));
  // Event 2 waits two quarter notes (192 ticks at 96 a quarter, one second) after event 1.
  const std::string mid = readFile(dir_.file("out.mid"));
  EXPECT_NE(mid.find(std::string("\x81\x40\xF0", 3)), std::string::npos);

  // A disk that fills up part way: the old file stays as it was, and the reason is given.
  std::vector<const Patch*> many(200, &bank[2]);
  for (const BankFormat format : {BankFormat::Syx, BankFormat::Mid}) {
    const std::string path = dir_.file(format == BankFormat::Syx ? "out.syx" : "out.mid");
    const std::string before = readFile(path);
    EXPECT_EQ(underSizeLimit([&] { return writeBankFile(path, format, many).empty(); }), 1);
    EXPECT_EQ(readFile(path), before);
  }
  EXPECT_NE(writeBankFile(dir_.file("no/such/folder.syx"), BankFormat::Syx, patches), "");
}

TEST(BankFormatTest, TheExtensionChoosesTheFormat) {
  EXPECT_EQ(bankFormatOfName("backup.syx"), BankFormat::Syx);
  EXPECT_EQ(bankFormatOfName("/x/BACKUP.SYX"), BankFormat::Syx);
  EXPECT_EQ(bankFormatOfName("backup.mid"), BankFormat::Mid);
  EXPECT_EQ(bankFormatOfName("backup.Midi"), BankFormat::Mid);
  EXPECT_EQ(bankFormatOfName("sounds.syx/backup.txt"), std::nullopt);
  EXPECT_EQ(bankFormatOfName("syx"), std::nullopt);
}

// --- the command line ----------------------------------------------------------------------------

class CliTransferUsageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(dir_.file("test.idf"), kDefinitions);
    writeFile(dir_.file("banklore.ini"),
              "[General]\nInstrument=Small\n[Small]\nMidiIN=synth:out\nMidiOUT=synth:in\n");
    writeFile(dir_.file("empty.ini"), "");
  }
  // Runs the tool with `arguments` (shell words) and the test definitions; its exit code.
  int run(const std::string& arguments) {
    const std::string command = std::string(BANKLORE_CLI) + " " + arguments + " --idf '" +
                                dir_.file("test.idf") + "' >'" + dir_.file("out") + "' 2>'" +
                                dir_.file("err") + "' </dev/null";
    const int status = std::system(command.c_str());
    out_ = readFile(dir_.file("out"));
    err_ = readFile(dir_.file("err"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  TempDir dir_;
  std::string out_, err_;
};

// Each is refused before any MIDI port is opened, with one line that says what was wrong.
TEST_F(CliTransferUsageTest, UsageErrorsExitWithTwoAndSayWhy) {
  const std::string ini = " --ini '" + dir_.file("banklore.ini") + "' ";
  const std::string file = " '" + dir_.file("backup.syx") + "'";
  const std::pair<std::string, std::string> cases[] = {
      {"fetch" + ini, "FILE is required"},
      {"send" + ini, "FILE is required"},
      {"fetch" + ini + dir_.file("backup.txt"), "must end in .syx or .mid"},
      {"fetch --slots 0-16" + ini + file, "slot 16 is outside 0..15"},
      {"fetch --slots 9-2" + ini + file, "runs backwards"},
      {"fetch --slots ,3" + ini + file, "an empty item"},
      {"fetch --device 256" + ini + file, "--device"},
      {"fetch --delay 1001" + ini + file, "--delay"},
      {"fetch --delay -1" + ini + file, "--delay"},
      {"fetch --instrument Nowhere" + ini + file, "no section [Nowhere]"},
      {"fetch --colour" + ini + file, "--colour"},
      {"send --slots 1" + ini + file, "--slots"},
      {"fetch --ini '" + dir_.file("empty.ini") + "' --instrument Small" + file,
       "no MIDI input: give --in NAME, or MidiIN in [Small] of"},
      {"fetch --in synth:out --ini '" + dir_.file("empty.ini") + "' --instrument Small" + file,
       "no MIDI output: give --out NAME, or MidiOUT in [Small] of"},
      {"send --ini '" + dir_.file("empty.ini") + "' --instrument Small" + file,
       "no MIDI output: give --out NAME"},
  };
  for (const auto& [arguments, why] : cases) {
    EXPECT_EQ(run(arguments), 2) << arguments << "\n" << err_;
    EXPECT_NE(err_.find(why), std::string::npos) << arguments << "\n" << err_;
    EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << arguments << "\n" << err_;
    EXPECT_EQ(out_, "") << arguments;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.file("backup.syx")));
}

TEST_F(CliTransferUsageTest, UnusableFilesExitWithOneBeforeAnythingIsSent) {
  const std::string ini = " --ini '" + dir_.file("banklore.ini") + "' ";
  writeFile(dir_.file("junk.syx"), std::string(33, '\x7F'));
  const std::pair<std::string, std::string> cases[] = {
      {"fetch --ini '" + dir_.file("none.ini") + "' x.syx", "cannot read the settings file"},
      {"fetch" + ini + "'" + dir_.file("no/such/folder/backup.syx") + "'", "cannot write"},
      {"send" + ini + "'" + dir_.file("missing.syx") + "'", "cannot read"},
      {"send" + ini + "'" + dir_.file("junk.syx") + "'", "3 packets are not a patch of Small"},
      // An instrument the settings name but the definitions do not hold.
      {"send --ini '" + dir_.file("other.ini") + "' '" + dir_.file("junk.syx") + "'",
       "no section [Elsewhere]"},
  };
  writeFile(dir_.file("other.ini"), "[General]\nInstrument=Elsewhere\n");
  for (const auto& [arguments, why] : cases) {
    EXPECT_EQ(run(arguments), 1) << arguments << "\n" << err_;
    EXPECT_NE(err_.find(why), std::string::npos) << arguments << "\n" << err_;
  }
}

}  // namespace
}  // namespace banklore
