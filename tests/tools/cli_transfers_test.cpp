// banklore-cli fetch and send without an instrument: slot lists, which slots each engine run asks
// for when some never arrive, and which slot each patch of a file to send goes to. The command
// line is checked in cli_test.cpp; the transfers themselves, and the files a fetch writes, against
// the virtual synth over JACK (tests/e2e/cli_transfers_over_jack_test.cpp).
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <set>

#include "cli_bank_io.h"
#include "cli_fetch_plan.h"
#include "cli_slot_list.h"
#include "platform/temp_dir.h"

namespace banklore {
namespace {

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

// --- bank files to send -------------------------------------------------------------------------

// Patches that name no slot fill the slots in file order; those beyond the last slot are counted.
TEST(CliBankFileTest, PatchesThatNameNoSlotFillTheSlotsInFileOrder) {
  TempDir dir;
  writeFile(dir.file("test.idf"),
            "[Unnamed]\nSend=f0,7d,u1,10\nRequest=f0,7d,u1,11,s1,f7\nDataSize=6\nNamePos=0\n"
            "NameLen=3\nNumPatchesPerBank=2\nNumTotalPatches=2\n");
  InstrumentDefinition unnamed(dir.file("test.idf"), "Unnamed", nullptr);
  std::string syx;
  for (const char letter : {'P', 'Q', 'R'}) {
    syx += std::string{'\xF0', '\x7D', 0, 0x10, letter, 'b', 'b', 0, 0, 0, '\xF7'};
  }
  writeFile(dir.file("unnamed.syx"), syx);
  std::vector<Patch> bank(2, Patch(unnamed));
  const BankFileRead read = readBankFile(dir.file("unnamed.syx"), unnamed, bank);
  EXPECT_EQ(read.slots, (std::vector<int>{0, 1}));
  EXPECT_EQ(read.outside, 1);
  EXPECT_EQ(bank[0].name() + bank[1].name(), "PbbQbb");
}

}  // namespace
}  // namespace banklore
