// The command entry, the context menu and the bank-editing commands, on the test definition, where
// every patch that lands in a slot can be checked for its number, device byte and checksum.
#include "app/support/app_fixture.h"

namespace banklore::testing {
namespace {

using V = std::vector<int>;

class CommandsTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    startOnTestDefinition();
  }
  void run(CommandId id, int bank, const V& selection) {
    view_.banks[bank].selection = selection;
    for (auto& list : view_.banks) list.refreshed.clear(), list.refreshedRanges.clear();
    window_->onCommand(id);
  }
  // The rows refreshed: each range (first, last) the command asked for, and no single row.
  std::vector<std::pair<int, int>> refreshedRanges(int bank) const {
    EXPECT_TRUE(view_.banks[bank].refreshed.empty());
    return view_.banks[bank].refreshedRanges;
  }
  // Slots from `first` on hold the patches first named with these numbers; each moved one placed.
  void expectOrder(int bank, int first, const V& order) {
    for (int i = 0; i < static_cast<int>(order.size()); ++i) {
      EXPECT_EQ(slotName(bank, first + i), "ab"[bank] + std::to_string(order[i]));
      if (order[i] != first + i) expectPlaced(bank, first + i);
    }
  }
};

TEST_F(CommandsTest, EveryCommandAndTheContextMenuEndARunningRequest) {
  using enum CommandId;
  V counts;  // k, as the handlers of other modules' commands are given it
  for (CommandId id : {SendSelected, RequestSelected, ChangeInstrument, Setup, About})
    window_->setCommandHandler(id, [&counts](int k) { counts.push_back(k); });
  window_->setActiveBank(1);
  for (int id : {40003, 40004, 40006, 40007, 40008, 40009, 40010, 40011, 40012, 40013, 40016, 40017,
                 40019, 40020, 40021, 40023, 1016,  1017,  1019,  1020,  1049,  1050,  12345}) {
    SCOPED_TRACE(id);
    startRequestIn(0);
    view_.focused = -1;
    run(static_cast<CommandId>(id), 1, {1, 4, 9});
    EXPECT_FALSE(window_->request().requestActive);
    EXPECT_EQ(view_.banks[0].status, "Request aborted.");
    EXPECT_EQ(view_.focused, 1);
  }
  EXPECT_EQ(counts, V(5, 3));
  // So does the context menu, which activates the list under the cursor.
  startRequestIn(0);
  EXPECT_FALSE(window_->onContextMenu(std::nullopt).has_value()) << "not over a list";
  EXPECT_FALSE(window_->request().requestActive);
  EXPECT_EQ(window_->onContextMenu(0)->size(),
            contextMenuItems().size() + addedContextMenuItems().size());
  EXPECT_EQ(window_->activeBank(), 0);
  run(CommandId::SelectAll, 0, {});
  EXPECT_EQ(view_.banks[0].selection.size(), 32u);
  EXPECT_EQ(view_.banks[1].selection, (V{1, 4, 9})) << "only the active list";
}

TEST(ContextMenuRule, EnablingFollowsSelectionCountAndClipboard) {
  // For k = 0, 1, 2 and N = 32 with patches on the clipboard, in menu order: Select All, None,
  // Send, Request, Save, Load, Load to selected, Copy to other bank, Rename, Copy, Paste, Swap,
  // Move, Sort.
  const S expected = {"+++-", "-+++", "-+++", "-+++", "++++", "++++", "-+++",
                      "-+++", "-+++", "-+++", "-+++", "--+-", "-++-", "--++"};
  S enabled;
  for (const ContextMenuItem& item : contextMenuItems()) {
    enabled.emplace_back();
    for (int k : {0, 1, 2, 32})
      enabled.back() += contextMenuItemEnabled(item.id, k, 32, false) ? '+' : '-';
  }
  EXPECT_EQ(enabled, expected);
  EXPECT_FALSE(contextMenuItemEnabled(CommandId::Paste, 2, 32, true)) << "empty clipboard";
}

TEST_F(CommandsTest, CopyToOtherBankFillsTheTargetSelectionThenTheSlotsAfterIt) {
  struct Case {
    int from;
    V sources, targets, written;
  };
  for (const Case& c : std::vector<Case>{{0, {3, 4, 5}, {10, 20}, {10, 20, 21}},
                                         {0, {3, 4, 5}, {}, {0, 1, 2}},
                                         {0, {1, 2, 3, 4, 5}, {30, 31}, {30, 31}},
                                         {1, {4}, {}, {0}}}) {
    SCOPED_TRACE(::testing::PrintToString(c.targets));
    window_->setActiveBank(c.from);
    view_.banks[1 - c.from].selection = c.targets;
    run(CommandId::CopyToOtherBank, c.from, c.sources);
    using R = std::vector<std::pair<int, int>>;
    EXPECT_EQ(refreshedRanges(1 - c.from), (R{{c.written.front(), c.written.back()}}))
        << "once, from the first written slot to the last";
    for (std::size_t i = 0; i < c.written.size(); ++i) {
      EXPECT_EQ(slotName(1 - c.from, c.written[i]), "ab"[c.from] + std::to_string(c.sources[i]));
      expectPlaced(1 - c.from, c.written[i]);
    }
  }
}

TEST_F(CommandsTest, PasteFillsSelectedSlotsWhileClipboardEntriesLast) {
  run(CommandId::Copy, 0, {-4, 2, 5, 5, 9, 99});  // rows outside the bank and repeats are ignored
  window_->setActiveBank(1);
  run(CommandId::Paste, 1, {0, 1, 2, 3, 4});
  EXPECT_EQ(names(1, 0, 5), (S{"a2", "a5", "a9", "b3", "b4"}));
  for (int slot : {0, 1, 2}) expectPlaced(1, slot);
  run(CommandId::Paste, 1, {10, 12});
  EXPECT_EQ(names(1, 10, 3), (S{"a2", "b11", "a5"}));
}

TEST_F(CommandsTest, SwapUpDownAndMoveCarryPatchesAndSelectionButStopAtTheEdges) {
  using R = std::vector<std::pair<int, int>>;
  struct Case {
    CommandId id;
    V selection;
    std::optional<int> count;  // Move's answer
    int first;
    V order, after;
    R refreshed;  // once for the rows that changed; Move: every row, even when nothing moved
  };
  for (const Case& c : std::vector<Case>{
           {CommandId::Swap, {4}, {}, 3, {3, 4, 5}, {4}, {}},
           {CommandId::Swap, {1, 4, 8}, {}, 0, {0, 1, 2, 3, 4}, {1, 4, 8}, {}},
           {CommandId::Swap, {3, 5}, {}, 3, {5, 4, 3}, {3, 5}, {{3, 5}}},
           {CommandId::UpBank0, {4, 5}, {}, 2, {2, 4, 5, 3, 6}, {3, 4}, {{3, 5}}},
           {CommandId::DownBank0, {1, 3}, {}, 0, {0, 2, 1, 4, 3, 5}, {2, 4}, {{1, 4}}},
           {CommandId::DownBank0, {2, 3, 4}, {}, 1, {1, 5, 2, 3, 4, 6}, {3, 4, 5}, {{2, 5}}},
           {CommandId::UpBank0, {0, 5}, {}, 0, {0, 1, 2, 3, 4, 5, 6}, {0, 5}, {}},
           {CommandId::DownBank0, {5, 31}, {}, 4, {4, 5, 6}, {5, 31}, {}},
           {CommandId::Move, {1, 2}, -3, 0, {1, 2, 0, 3}, {0, 1}, {{0, 31}}},
           {CommandId::Move, {28}, 1023, 27, {27, 29, 30, 31, 28}, {31}, {{0, 31}}},
           {CommandId::Move, {4}, 0, 3, {3, 4, 5}, {4}, {{0, 31}}},
           {CommandId::Move, {4}, std::nullopt, 3, {3, 4, 5}, {4}, {}}}) {
    SCOPED_TRACE(::testing::PrintToString(c.selection));
    startOnTestDefinition();
    prompts_.counts = {c.count};
    run(c.id, 0, c.selection);
    expectOrder(0, c.first, c.order);
    EXPECT_EQ(view_.banks[0].selection, c.after);
    EXPECT_EQ(refreshedRanges(0), c.refreshed);
  }
  run(CommandId::DownBank1, 1, {6});
  expectOrder(1, 6, {7, 6});
  EXPECT_EQ(window_->activeBank(), 0) << "a bank's buttons leave the active bank alone";
}

TEST_F(CommandsTest, RenameAsksForEachSlotAndSkipsACancelledOne) {
  prompts_.names = {"First", std::nullopt, "ALongerName"};
  run(CommandId::Rename, 0, {2, 4, 6});
  EXPECT_EQ(prompts_.renameShown, (S{"a2      ", "a4      ", "a6      "}));
  EXPECT_EQ(names(0, 2, 5), (S{"First", "a3", "a4", "a5", "ALongerN"}));
  EXPECT_EQ(view_.banks[0].refreshed, (V{2, 6}));
}

}  // namespace
}  // namespace banklore::testing
