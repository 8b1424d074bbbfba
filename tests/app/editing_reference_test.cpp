// Every editing command works out where each patch ends and stores each once; doing the same the
// slow way through the slot primitives (kept here as the reference: neighbours exchanged one step
// at a time, copies one slot at a time) must give the same banks byte for byte and the same
// selection, on random banks and selections. This is the one place for editing semantics.
#include <cstdlib>
#include <iterator>
#include <random>

#include "app/support/app_fixture.h"

namespace banklore::testing {
namespace {

using V = std::vector<int>;
using enum CommandId;

// The editing commands done the slow way.
class StepByStep {
 public:
  explicit StepByStep(MainWindow& window) : window_(window) {}

  void exchange(int bank, int a, int b) {
    Patch temporary(window_.definition());
    window_.LoadFromSlot(temporary, bank, a);
    window_.CopySlot(bank, b, bank, a, false);
    window_.StoreToSlot(bank, b, temporary, false);
  }
  bool up(int bank, V& selection) {
    if (selection.empty() || selection.front() <= 0) return false;
    for (int& s : selection) exchange(bank, s - 1, s), --s;
    return true;
  }
  bool down(int bank, V& selection) {
    if (selection.empty() || selection.back() >= window_.slotCount() - 1) return false;
    for (auto s = selection.rbegin(); s != selection.rend(); ++s) exchange(bank, *s + 1, *s), ++*s;
    return true;
  }
  void move(int bank, V& selection, int count) {
    for (int step = 0; step < std::abs(count); ++step) {
      if (!(count < 0 ? up(bank, selection) : down(bank, selection))) break;
    }
  }
  // Bubble passes over the selected slots, names read again after each exchange.
  void sort(int bank, const V& slots) {
    std::vector<std::string> names;
    for (int slot : slots) names.push_back(window_.name(bank, slot));
    bool exchanged = true;
    for (std::size_t pass = 0; exchanged && pass <= slots.size(); ++pass) {
      exchanged = false;
      for (std::size_t i = 0; i + 1 < slots.size(); ++i) {
        if (names[i].compare(names[i + 1]) <= 0) continue;  // unsigned bytes, as strcmp
        exchange(bank, slots[i], slots[i + 1]);
        names[i] = window_.name(bank, slots[i]);
        names[i + 1] = window_.name(bank, slots[i + 1]);
        exchanged = true;
      }
    }
  }
  // The other bank's selected slots in order, then the slots after the last one used.
  void copyToOther(int bank, const V& sources, const V& targets) {
    int t = -1;
    for (std::size_t i = 0; i < sources.size(); ++i) {
      t = i < targets.size() ? targets[i] : t + 1;
      if (t < window_.slotCount()) window_.CopySlot(bank, sources[i], 1 - bank, t, false);
    }
  }
  void paste(int bank, const V& slots, const std::vector<Patch>& clipboard) {
    for (std::size_t i = 0; i < slots.size() && i < clipboard.size(); ++i)
      window_.StoreToSlot(bank, slots[i], clipboard[i], false);
  }

 private:
  MainWindow& window_;
};

struct Scenario {
  const char* what;
  std::string definition;  // keys replacing the test definition's
  int selectPercent;       // chance of each slot being selected
  bool cutNames;           // some names end early at a 00 byte
};

class EditingReferenceTest : public AppTest, public ::testing::WithParamInterface<Scenario> {
 protected:
  static constexpr int kSlots = 64;

  void SetUp() override {
    AppTest::SetUp();
    startOnTestDefinition(GetParam().definition + "NumTotalPatches=64\nNumEditablePatches=64\n");
    ASSERT_EQ(window_->slotCount(), kSlots);
  }

  // Fills both banks with patches stored elsewhere: another slot and device in the header, a stale
  // checksum, random data, and names of up to three characters from a small alphabet of both
  // cases, a space and a byte that reads as "?", so that names repeat, also up to trailing spaces.
  void fillAtRandom() {
    for (int b = 0; b < 2; ++b) {
      for (Patch& patch : window_->bank(b).slots) {
        std::vector<std::uint8_t> bytes(patch.bytes().begin(), patch.bytes().end());
        for (std::size_t i = 6; i + 1 < bytes.size(); ++i) bytes[i] = std::uint8_t(below(128));
        bytes[2] = std::uint8_t(10 + below(3));  // never the current device byte 13
        bytes[4] = std::uint8_t(below(6));
        bytes[5] = std::uint8_t(below(16));
        patch.loadBytes(bytes);
        std::string name;
        for (int i = below(4); i > 0; --i) name.push_back("aAb \xE9"[below(5)]);
        if (GetParam().cutNames && below(3) == 0)
          name.insert(name.begin() + below(static_cast<int>(name.size()) + 1), '\0');
        patch.setName(name);
      }
    }
  }
  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  V selectAtRandom() {
    V selection;
    for (int slot = 0; slot < kSlots; ++slot) {
      if (below(100) < GetParam().selectPercent) selection.push_back(slot);
    }
    return selection;
  }
  // Runs the command on a copy of the banks step by step (`reference`, which may change the
  // selection it is given), then the real one on the banks as they were; both must end the same,
  // each slot that changed holding a patch placed there, and each bank refreshed once over a range
  // that holds every row that changed.
  void expectSameAsStepByStep(CommandId id, int bank, const V& selection,
                              const std::function<void(StepByStep&, V&)>& reference) {
    const std::vector<Patch> before[2] = {window_->bank(0).slots, window_->bank(1).slots};
    const auto original = banks();
    StepByStep steps(*window_);
    V expectedSelection = selection;
    reference(steps, expectedSelection);
    const auto expected = banks();
    for (int b = 0; b < 2; ++b) {
      window_->bank(b).slots = before[b];
      view_.banks[b].refreshed.clear();
      view_.banks[b].refreshedRanges.clear();
    }
    select(bank, selection);
    window_->onCommand(id);
    const auto actual = banks();
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const int b = int(i) / kSlots, slot = int(i) % kSlots;
      ASSERT_EQ(actual[i], expected[i]) << "bank " << b << " slot " << slot;
      if (actual[i] == original[i]) continue;
      EXPECT_EQ(std::vector<int>({actual[i][2], actual[i][4], actual[i][5]}),
                std::vector<int>({13, slot / 16, slot % 16}))
          << "placed in bank " << b << " slot " << slot;
      const auto& ranges = view_.banks[b].refreshedRanges;
      ASSERT_EQ(ranges.size(), 1u) << "bank " << b << " slot " << slot << " changed";
      EXPECT_TRUE(ranges[0].first <= slot && slot <= ranges[0].second) << slot;
    }
    EXPECT_EQ(view_.banks[bank].selection, expectedSelection);
    for (int b = 0; b < 2; ++b) EXPECT_TRUE(view_.banks[b].refreshed.empty());
  }

  std::mt19937 random_{2026};
};

TEST_P(EditingReferenceTest, EditingCommandsMatchTheSlowWayStepByStep) {
  const int counts[] = {-1023, -40, -3, -1, 1, 2, 17, 95, 1023};
  for (int trial = 0; trial < 40 && !HasFatalFailure(); ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    fillAtRandom();
    const int bank = trial % 2;
    const V selection = selectAtRandom(), other = selectAtRandom();
    const int count = counts[static_cast<std::size_t>(trial) % std::size(counts)];
    expectSameAsStepByStep(bank == 0 ? UpBank0 : UpBank1, bank, selection,
                           [bank](StepByStep& s, V& sel) { s.up(bank, sel); });
    expectSameAsStepByStep(bank == 0 ? DownBank0 : DownBank1, bank, selection,
                           [bank](StepByStep& s, V& sel) { s.down(bank, sel); });
    prompts_.counts = {count};
    expectSameAsStepByStep(Move, bank, selection,
                           [bank, count](StepByStep& s, V& sel) { s.move(bank, sel, count); });
    expectSameAsStepByStep(Sort, bank, selection,
                           [bank](StepByStep& s, V& sel) { s.sort(bank, sel); });
    const V two(selection.begin(), selection.begin() + std::min<std::size_t>(2, selection.size()));
    for (const V& slots : {selection, two}) {
      expectSameAsStepByStep(Swap, bank, slots, [bank](StepByStep& s, V& sel) {
        if (sel.size() == 2) s.exchange(bank, sel[0], sel[1]);
      });
    }
    view_.banks[1 - bank].selection = other;
    expectSameAsStepByStep(CopyToOtherBank, bank, selection,
                           [&](StepByStep& s, V& sel) { s.copyToOther(bank, sel, other); });
    select(1 - bank, other);
    window_->onCommand(Copy);
    const std::vector<Patch> clipboard = window_->clipboard();
    ASSERT_EQ(clipboard.size(), other.size());
    expectSameAsStepByStep(Paste, bank, selection,
                           [&](StepByStep& s, V& sel) { s.paste(bank, sel, clipboard); });
  }
}

// Checksums that cover only the data, or the header's slot bytes too; names at the start or in
// the middle of the data; selections from a few slots to nearly all; names cut short at a 00 byte
// read longer once stored, which changes how they compare on the way.
INSTANTIATE_TEST_SUITE_P(
    RandomBanks, EditingReferenceTest,
    ::testing::Values(Scenario{"sparse", "", 12, false}, Scenario{"dense", "", 85, false},
                      Scenario{"halfWithHeaderChecksum",
                               "ChecksumType=Virus\nNamePos=5\nNameLen=6\n", 50, false},
                      Scenario{"cutNames", "", 60, true}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace banklore::testing
