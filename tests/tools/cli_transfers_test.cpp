// banklore-cli fetch and send without an instrument: slot lists, which slots each engine run asks
// for when some never arrive, bank files read into slots and written whole or not at all, and the
// exit codes for usage errors (2) and input that cannot be used (1). The transfers themselves, and
// the files a fetch writes, are checked against the virtual synth over JACK
// (tests/e2e/cli_transfers_over_jack_test.cpp).
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <set>

#include "cli_bank_io.h"
#include "cli_fetch_plan.h"
#include "cli_slot_list.h"
#include "files/midi_file.h"
#include "platform/temp_dir.h"
#include "support/program_run.h"

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
  const auto at = [](int n) { return static_cast<std::uint8_t>(n); };
  return {0xF0, 0x7D, 0, 0x10, at(slot / 8), at(slot % 8), at(letter), 'a', 'a', 0x01, 0xF7};
}

std::string text(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// --- slot lists ----------------------------------------------------------------------------------

// Numbers and ranges, blanks around them, in any order and overlapping: the slots they cover; and
// printed back, the same slots.
RC_GTEST_PROP(SlotListTest, ReadsAnyListOfNumbersAndRangesAndPrintsItBack, ()) {
  const int count = *rc::gen::inRange(1, 300);
  const auto items = *rc::gen::nonEmpty(rc::gen::container<std::vector<std::pair<int, int>>>(
      rc::gen::pair(rc::gen::inRange(0, count), rc::gen::inRange(0, 4))));
  std::string list;
  std::set<int> covered;
  for (const auto& [first, length] : items) {
    const int last = std::min(first + length, count - 1);
    for (int slot = first; slot <= last; ++slot) covered.insert(slot);
    // Odd lengths get a blank in front; length 3 writes even a range of one slot ("7-7").
    list += (list.empty() ? "" : ",") + std::string(length % 2, ' ') + std::to_string(first) +
            (last > first || length == 3 ? "-" + std::to_string(last) : "") + " ";
  }
  const SlotListParse parsed = parseSlotList(list, count);
  RC_ASSERT(parsed.error == "");
  RC_ASSERT(parsed.slots == std::vector<int>(covered.begin(), covered.end()));
  RC_ASSERT(parseSlotList(formatSlotList(parsed.slots), count).slots == parsed.slots);
}

TEST(SlotListTest, PrintsRunsOfThreeOrMoreAsRanges) {
  EXPECT_EQ(formatSlotList({1, 2, 9, 10, 11, 12, 200}), "1,2,9-12,200");
}

TEST(SlotListTest, RefusesWhatNamesNoSlotOfTheInstrument) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "an empty item"}, {"1,,2", "an empty item"}, {"3,", "an empty item"},
      {"5-3", "the range 5-3 runs backwards"}, {"256", "slot 256 is outside 0..255"},
      {"0-256", "slot 256 is outside 0..255"}, {"-3", "\"-3\" is no slot number"},
      {"3-", "\"3-\" is no slot number"}, {"A005", "\"A005\" is no slot number"},
      {"1.5", "\"1.5\" is no slot number"}, {"+4", "\"+4\" is no slot number"},
      {"99999999999999999999", "is no slot number"}};
  for (const auto& [input, why] : cases) {
    const SlotListParse parsed = parseSlotList(input, 256);
    EXPECT_NE(parsed.error.find(why), std::string::npos) << input << ": " << parsed.error;
    EXPECT_TRUE(parsed.slots.empty()) << input;
  }
}

// --- which slots each run asks for -------------------------------------------------------------

TEST(FetchPlanTest, PassesOverSlotsThatDoNotArriveAsksAgainOnceAndGivesUpAfterTwoInARow) {
  using Runs = std::vector<std::pair<std::size_t, std::vector<int>>>;  // arrived of those asked
  struct Case {
    const char* what;
    std::vector<int> slots;
    Runs runs;
    std::vector<int> missing;
    bool gaveUp;
  };
  const Case cases[] = {
      {"all arrive", {0, 1, 2}, {{3, {0, 1, 2}}}, {}, false},
      {"one fails, then arrives when asked again", {0, 1, 2, 3, 4},
       {{2, {0, 1, 2, 3, 4}}, {2, {3, 4}}, {1, {2}}}, {}, false},
      {"one fails twice", {0, 1, 2, 3, 4}, {{2, {0, 1, 2, 3, 4}}, {2, {3, 4}}, {0, {2}}}, {2},
       false},
      {"the last fails", {5, 6}, {{1, {5, 6}}, {0, {6}}}, {6}, false},
      {"two in a row: the instrument is gone", {0, 1, 2, 3, 4, 5},
       {{1, {0, 1, 2, 3, 4, 5}}, {0, {2, 3, 4, 5}}}, {1, 2, 3, 4, 5}, true},
      {"silent from the start", {0, 1, 2}, {{0, {0, 1, 2}}, {0, {1, 2}}}, {0, 1, 2}, true},
      {"a single silent slot is not asked again", {7}, {{0, {7}}}, {7}, false},
      {"failures apart, then both again in a row", {0, 1, 2, 3, 4, 5},
       {{1, {0, 1, 2, 3, 4, 5}}, {1, {2, 3, 4, 5}}, {2, {4, 5}}, {0, {1, 3}}, {0, {3}}}, {1, 3},
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
  FetchPlan interrupted({10, 11, 12, 13});
  interrupted.runEnded(2);  // ended early by the interruption: slot 12 was being awaited
  interrupted.stop();
  EXPECT_TRUE(interrupted.over());
  EXPECT_EQ(interrupted.arrived(), (std::vector<int>{10, 11}));
  EXPECT_EQ(interrupted.missing(), (std::vector<int>{12, 13}));
}

// --- bank files ----------------------------------------------------------------------------------

class CliBankFileTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(dir_.file("test.idf"), kDefinitions); }
  static std::vector<Patch> bankOf(InstrumentDefinition& definition) {
    return std::vector<Patch>(static_cast<std::size_t>(definition.NumTotalPatches()),
                              Patch(definition));
  }
  TempDir dir_;
};

TEST_F(CliBankFileTest, ReadsEachPatchIntoTheSlotItNamesAndCountsWhatCannotBeSent) {
  InstrumentDefinition small(dir_.file("test.idf"), "Small", nullptr);
  Bytes wrongHeader = smallPatch(3, 'W');
  wrongHeader[3] = 0x11;
  std::string syx;
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open(dir_.file("bank.mid"), 96));
  for (const Bytes& packet : {smallPatch(4, 'X'), smallPatch(9, 'Y'), wrongHeader, smallPatch(4, 'Z')}) {
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
    EXPECT_EQ(bank[4].name() + bank[9].name() + bank[3].name(), "ZaaYaa<Un") << file;
  }
  // Patches that name no slot fill the slots in file order.
  InstrumentDefinition unnamed(dir_.file("test.idf"), "Unnamed", nullptr);
  syx.clear();
  for (const char letter : {'P', 'Q', 'R'}) {
    syx += text({0xF0, 0x7D, 0, 0x10, static_cast<std::uint8_t>(letter), 'b', 'b', 0, 0, 0, 0xF7});
  }
  writeFile(dir_.file("unnamed.syx"), syx);
  std::vector<Patch> bank = bankOf(unnamed);
  EXPECT_EQ(readBankFile(dir_.file("unnamed.syx"), unnamed, bank).slots, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(bank[0].name() + bank[1].name() + bank[2].name(), "PbbQbbRbb");
}

// --- the command line ----------------------------------------------------------------------------

class CliTransferUsageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(dir_.file("test.idf"), kDefinitions);
    writeFile(dir_.file("banklore.ini"),
              "[General]\nInstrument=Small\n[Small]\nMidiIN=synth:out\nMidiOUT=synth:in\n");
    writeFile(dir_.file("empty.ini"), "");
    writeFile(dir_.file("other.ini"), "[General]\nInstrument=Elsewhere\n");
    writeFile(dir_.file("junk.syx"), std::string(33, '\x7F'));
  }
  // Each is refused before any MIDI port is opened, and says why; a usage error in one line alone.
  void expectRefused(const std::vector<std::pair<std::string, std::string>>& cases, int code) {
    for (const auto& [arguments, why] : cases) {
      const test::ProgramResult ran =
          test::runProgram(BANKLORE_CLI, arguments + " --idf " + dir_.file("test.idf"));
      EXPECT_EQ(ran.exitCode, code) << arguments << "\n" << ran.err;
      EXPECT_NE(ran.err.find(why), std::string::npos) << arguments << "\n" << ran.err;
      if (code != 2) continue;
      EXPECT_EQ(std::count(ran.err.begin(), ran.err.end(), '\n'), 1) << arguments << "\n" << ran.err;
      EXPECT_EQ(ran.out, "") << arguments;
    }
  }
  TempDir dir_;
  const std::string ini_ = " --ini " + dir_.file("banklore.ini") + " ";
  const std::string empty_ = " --ini " + dir_.file("empty.ini") + " --instrument Small ";
  const std::string file_ = " " + dir_.file("backup.syx");
};

TEST_F(CliTransferUsageTest, UsageErrorsExitWithTwoAndSayWhy) {
  expectRefused({{"fetch" + ini_, "FILE is required"},
                 {"send" + ini_, "FILE is required"},
                 {"fetch" + ini_ + dir_.file("backup.txt"), "must end in .syx or .mid"},
                 {"fetch --slots 0-16" + ini_ + file_, "slot 16 is outside 0..15"},
                 {"fetch --slots 9-2" + ini_ + file_, "runs backwards"},
                 {"fetch --slots ,3" + ini_ + file_, "an empty item"},
                 {"fetch --device 256" + ini_ + file_, "--device"},
                 {"fetch --delay 1001" + ini_ + file_, "--delay"},
                 {"fetch --delay -1" + ini_ + file_, "--delay"},
                 {"fetch --instrument Nowhere" + ini_ + file_, "no section [Nowhere]"},
                 {"fetch --colour" + ini_ + file_, "--colour"},
                 {"send --slots 1" + ini_ + file_, "--slots"},
                 {"fetch" + empty_ + file_, "no MIDI input: give --in NAME, or MidiIN in [Small] of"},
                 {"fetch --in synth:out" + empty_ + file_,
                  "no MIDI output: give --out NAME, or MidiOUT in [Small] of"},
                 {"send" + empty_ + file_, "no MIDI output: give --out NAME"}},
                2);
  EXPECT_FALSE(std::filesystem::exists(dir_.file("backup.syx")));
}

TEST_F(CliTransferUsageTest, UnusableFilesExitWithOneBeforeAnythingIsSent) {
  expectRefused(
      {{"fetch --ini " + dir_.file("none.ini") + " x.syx", "cannot read the settings file"},
       {"fetch" + ini_ + dir_.file("no/such/folder/backup.syx"), "cannot write"},
       {"send" + ini_ + dir_.file("missing.syx"), "cannot read"},
       {"send" + ini_ + dir_.file("junk.syx"), "3 packets are not a patch of Small"},
       // An instrument the settings name but the definitions do not hold.
       {"send --ini " + dir_.file("other.ini") + " " + dir_.file("junk.syx"), "no section [Elsewhere]"}},
      1);
}

}  // namespace
}  // namespace banklore
