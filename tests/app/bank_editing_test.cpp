// The bank-editing commands on a definition whose header names device, bank and program and whose
// patches carry a checksum, so every landing in a slot can be checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/support/app_fixture.h"

namespace banklore::testing {
namespace {

using S = std::vector<std::string>;

class BankEditingTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    useTestDefinition();
    start();
    nameSlots(0, "a");
    nameSlots(1, "b");
    view_.clearRefreshed();
  }
  int n() const { return window_->slotCount(); }
};

TEST_F(BankEditingTest, CopySlotRenumbersStampsAndRefreshesOnlyItsRow) {
  window_->CopySlot(0, 5, 1, 9, true);
  EXPECT_EQ(slotName(1, 9), "a5");
  EXPECT_EQ(slotName(0, 5), "a5");
  expectPlaced(1, 9);
  EXPECT_EQ(window_->bank(1).slots[9].patchNumber(), 9);
  EXPECT_EQ(view_.banks[1].refreshed, std::vector<int>{9});
  EXPECT_TRUE(view_.banks[0].refreshed.empty());

  // Out of range on either side: nothing happens.
  for (auto [sb, ss, db, ds] : std::vector<std::array<int, 4>>{
           {0, 0, 1, 32}, {0, -1, 1, 0}, {0, 32, 1, 0}, {2, 0, 1, 0}, {0, 0, -1, 0}}) {
    window_->CopySlot(sb, ss, db, ds, true);
  }
  EXPECT_EQ(view_.banks[1].refreshed, std::vector<int>{9});
  EXPECT_EQ(slotName(1, 0), "b0");

  Patch loose(window_->definition());
  window_->LoadFromSlot(loose, 0, 32);
  EXPECT_EQ(loose.name().substr(0, 8), "<Untitle") << "out of range leaves the patch as it was";
  window_->StoreToSlot(0, -1, loose, true);
  window_->StoreToSlot(0, 32, loose, true);
  window_->RefreshRow(0, 32);
  EXPECT_TRUE(view_.banks[0].refreshed.empty());
}

TEST_F(BankEditingTest, CopyToOtherBankFillsTargetSelectionThenFollowingSlots) {
  struct Case {
    std::vector<int> sources, targets;
    std::vector<std::pair<int, std::string>> expected;  // target slot -> name
  };
  const std::vector<Case> cases = {
      {{3, 4, 5}, {10, 20}, {{10, "a3"}, {20, "a4"}, {21, "a5"}}},
      {{3, 4, 5}, {}, {{0, "a3"}, {1, "a4"}, {2, "a5"}}},
      {{1, 2, 3, 4, 5}, {30, 31}, {{30, "a1"}, {31, "a2"}}},
      {{7}, {2, 6}, {{2, "a7"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.sources) + " -> " +
                 ::testing::PrintToString(c.targets));
    nameSlots(1, "b");
    view_.clearRefreshed();
    view_.select(0, c.sources);
    view_.select(1, c.targets);
    window_->onCommand(CommandId::CopyToOtherBank);
    std::vector<int> written;
    for (const auto& [slot, expectedName] : c.expected) {
      EXPECT_EQ(slotName(1, slot), expectedName);
      expectPlaced(1, slot);
      written.push_back(slot);
    }
    EXPECT_EQ(view_.banks[1].refreshed, written);
    EXPECT_EQ(view_.banks[0].selection, c.sources) << "selections stay";
    EXPECT_EQ(view_.banks[1].selection, c.targets);
  }
  // Bank 1 active copies the other way.
  nameSlots(0, "a");
  window_->onCommand(CommandId::ActivateBank1);
  view_.select(1, {4});
  view_.select(0, {});
  window_->onCommand(CommandId::CopyToOtherBank);
  EXPECT_EQ(slotName(0, 0), "b4");
}

TEST_F(BankEditingTest, PasteUsesPairsUntilEitherRunsOut) {
  view_.select(0, {2, 5, 9});
  window_->onCommand(CommandId::Copy);
  ASSERT_EQ(window_->clipboard().size(), 3u);
  // The copies keep their bytes unchanged.
  EXPECT_TRUE(
      std::ranges::equal(window_->clipboard()[1].bytes(), window_->bank(0).slots[5].bytes()));

  window_->onCommand(CommandId::ActivateBank1);
  view_.select(1, {0, 1, 2, 3, 4});
  window_->onCommand(CommandId::Paste);
  EXPECT_EQ(slotNames(1, 0, 5), (S{"a2", "a5", "a9", "b3", "b4"}));
  for (int slot : {0, 1, 2}) expectPlaced(1, slot);

  view_.select(1, {10, 12});
  window_->onCommand(CommandId::Paste);
  EXPECT_EQ(slotNames(1, 10, 3), (S{"a2", "b11", "a5"}));
  EXPECT_EQ(window_->clipboard().size(), 3u) << "the clipboard keeps its content";

  // Nothing selected: nothing pasted.
  view_.select(1, {});
  nameSlots(1, "b");
  window_->onCommand(CommandId::Paste);
  EXPECT_EQ(slotName(1, 0), "b0");
}

TEST_F(BankEditingTest, SwapNeedsExactlyTwo) {
  for (const std::vector<int>& selection : {std::vector<int>{4}, std::vector<int>{1, 4, 8}}) {
    view_.select(0, selection);
    window_->onCommand(CommandId::Swap);
    EXPECT_EQ(slotNames(0, 0, 9), (S{"a0", "a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8"}));
  }
  view_.select(0, {3, 17});
  window_->onCommand(CommandId::Swap);
  EXPECT_EQ(slotName(0, 3), "a17");
  EXPECT_EQ(slotName(0, 17), "a3");
  expectPlaced(0, 3);
  expectPlaced(0, 17);
  EXPECT_EQ(view_.banks[0].selection, (std::vector<int>{3, 17}));
}

TEST_F(BankEditingTest, UpAndDownMoveBlocksWithTheirSelection) {
  view_.select(0, {4, 5});
  window_->onCommand(CommandId::UpBank0);
  EXPECT_EQ(slotNames(0, 2, 5), (S{"a2", "a4", "a5", "a3", "a6"}));
  EXPECT_EQ(view_.banks[0].selection, (std::vector<int>{3, 4}));
  EXPECT_EQ(view_.banks[0].focusRow, 4);
  for (int slot : {3, 4, 5}) expectPlaced(0, slot);

  window_->onCommand(CommandId::DownBank0);
  EXPECT_EQ(slotNames(0, 2, 5), (S{"a2", "a3", "a4", "a5", "a6"}));
  EXPECT_EQ(view_.banks[0].selection, (std::vector<int>{4, 5}));

  // Non-adjacent slots each exchange with their neighbour.
  view_.select(0, {1, 3});
  window_->onCommand(CommandId::DownBank0);
  EXPECT_EQ(slotNames(0, 0, 5), (S{"a0", "a2", "a1", "a4", "a3"}));
  EXPECT_EQ(view_.banks[0].selection, (std::vector<int>{2, 4}));
}

TEST_F(BankEditingTest, UpAndDownDoNothingAtTheEdges) {
  struct Case {
    CommandId id;
    std::vector<int> selection;
  };
  for (const Case& c : {Case{CommandId::UpBank0, {0, 5}}, Case{CommandId::DownBank0, {5, 31}},
                        Case{CommandId::UpBank0, {}}, Case{CommandId::DownBank0, {}}}) {
    view_.select(0, c.selection);
    view_.clearRefreshed();
    window_->onCommand(c.id);
    EXPECT_EQ(slotNames(0, 4, 3), (S{"a4", "a5", "a6"}));
    EXPECT_EQ(view_.banks[0].selection, c.selection);
    EXPECT_TRUE(view_.banks[0].refreshed.empty());
  }
}

TEST_F(BankEditingTest, UpAndDownButtonsActOnTheirOwnBank) {
  view_.select(1, {6});
  window_->onCommand(CommandId::UpBank1);
  EXPECT_EQ(slotName(1, 5), "b6");
  EXPECT_EQ(window_->activeBank(), 0) << "the buttons leave the active bank alone";
  window_->onCommand(CommandId::DownBank1);
  EXPECT_EQ(slotName(1, 6), "b6");
}

TEST_F(BankEditingTest, MoveByCountStopsAtTheEdgeAndRedrawsEveryRow) {
  view_.select(0, {1, 2});
  prompts_.moveAnswers = {-3};
  window_->onCommand(CommandId::Move);
  EXPECT_EQ(slotNames(0, 0, 3), (S{"a1", "a2", "a0"}));
  EXPECT_EQ(view_.banks[0].selection, (std::vector<int>{0, 1}));
  EXPECT_EQ(view_.banks[0].refreshed.size(), 32u);

  view_.select(0, {28});
  prompts_.moveAnswers = {1023};
  window_->onCommand(CommandId::Move);
  EXPECT_EQ(slotNames(0, 28, 4), (S{"a29", "a30", "a31", "a28"}));
  EXPECT_EQ(view_.banks[0].selection, (std::vector<int>{31}));
  expectPlaced(0, 31);

  // Zero, nothing selected, or cancelled: nothing moves; only a dialog that ended with OK redraws.
  for (auto answer : {std::optional<int>(0), std::optional<int>(5), std::optional<int>()}) {
    view_.select(0, answer == 5 ? std::vector<int>{} : std::vector<int>{4});
    view_.clearRefreshed();
    prompts_.moveAnswers = {answer};
    window_->onCommand(CommandId::Move);
    EXPECT_EQ(slotName(0, 4), "a4");
    EXPECT_EQ(view_.banks[0].refreshed.size(), answer ? 32u : 0u);
  }
  EXPECT_EQ(prompts_.moveAsked, 5);
}

TEST_F(BankEditingTest, SortIsAStableBubbleSortOfTheSelectedSlotsOnly) {
  window_->bank(0).slots[7].setName("b");
  window_->bank(0).slots[9].setName("B");
  window_->bank(0).slots[12].setName("a");
  view_.select(0, {7, 9, 12});
  window_->onCommand(CommandId::Sort);
  EXPECT_EQ(slotNames(0, 7, 6), (S{"B", "a8", "a", "a10", "a11", "b"}));
  for (int slot : {7, 9, 12}) expectPlaced(0, slot);
  EXPECT_EQ(view_.banks[0].refreshed, (std::vector<int>{7, 9, 12}));

  // Equal names keep their order: tell the two "x" patches apart by a data byte after the name.
  const auto mark = [this](int slot, const std::string& text, std::uint8_t marker) {
    Patch patch(window_->definition());
    std::vector<std::uint8_t> bytes(patch.bytes().begin(), patch.bytes().end());
    bytes[20] = marker;
    patch.loadBytes(bytes);
    patch.setName(text);
    window_->StoreToSlot(0, slot, patch, false);
  };
  mark(0, "x", 1);
  mark(1, "x", 9);
  mark(2, "x", 2);
  mark(3, "w", 3);
  view_.select(0, {0, 2, 3});
  window_->onCommand(CommandId::Sort);
  EXPECT_EQ(slotNames(0, 0, 4), (S{"w", "x", "x", "x"}));
  EXPECT_EQ(window_->bank(0).slots[0].bytes()[20], 3);
  EXPECT_EQ(window_->bank(0).slots[1].bytes()[20], 9) << "unselected";
  EXPECT_EQ(window_->bank(0).slots[2].bytes()[20], 1);
  EXPECT_EQ(window_->bank(0).slots[3].bytes()[20], 2);
  for (int slot : {0, 2, 3}) expectPlaced(0, slot);

  // One selected slot: nothing to sort.
  window_->bank(0).slots[20].setName("zz");
  view_.select(0, {20});
  view_.clearRefreshed();
  window_->onCommand(CommandId::Sort);
  EXPECT_TRUE(view_.banks[0].refreshed.empty());
}

TEST_F(BankEditingTest, RenameAsksForEachSlotAndSkipsCancelled) {
  view_.select(0, {2, 4, 6});
  prompts_.renameAnswers = {std::string("First"), std::nullopt, std::string("ALongerName")};
  window_->onCommand(CommandId::Rename);
  EXPECT_EQ(prompts_.renameAsked, (S{"a2      ", "a4      ", "a6      "}));
  EXPECT_EQ(slotNames(0, 2, 5), (S{"First", "a3", "a4", "a5", "ALongerN"}));
  EXPECT_EQ(view_.banks[0].refreshed, (std::vector<int>{2, 6}));

  // Renaming touches only the name: the header keeps its device byte.
  const auto before = window_->bank(0).slots[8].bytes()[2];
  view_.select(0, {8});
  prompts_.renameAnswers = {std::string("")};
  window_->onCommand(CommandId::Rename);
  EXPECT_EQ(window_->name(0, 8), "        ");
  EXPECT_EQ(window_->bank(0).slots[8].bytes()[2], before);
}

TEST_F(BankEditingTest, SelectionRowsOutsideTheBankAreIgnored) {
  view_.select(0, {-4, 3, 3, 99});
  window_->onCommand(CommandId::Copy);
  ASSERT_EQ(window_->clipboard().size(), 1u);
  view_.select(1, {40, 5});
  window_->onCommand(CommandId::ActivateBank1);
  window_->onCommand(CommandId::Paste);
  EXPECT_EQ(slotName(1, 5), "a3");
}

}  // namespace
}  // namespace banklore::testing
