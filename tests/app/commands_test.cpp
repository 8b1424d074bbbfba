// The command entry, the context menu, list clicks and the enabling rule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_ids.h"
#include "app/support/app_fixture.h"

namespace banklore::testing {
namespace {

using CommandsTest = AppTest;

const std::vector<int> kEveryCommand = {40003, 40004, 40006, 40007, 40008, 40009, 40010, 40011,
                                        40012, 40013, 40016, 40017, 40019, 40020, 40021, 40023,
                                        1016,  1017,  1019,  1020,  1049,  1050,  12345};

TEST_F(CommandsTest, EveryCommandEndsARunningRequestAndFocusesTheActiveList) {
  for (int id : kEveryCommand) {
    SCOPED_TRACE(id);
    start();
    window_->setActiveBank(1);
    window_->request().requestActive = true;
    window_->request().requestBank = 0;
    view_.focusedList = -1;
    window_->onCommand(id);
    EXPECT_FALSE(window_->request().requestActive);
    EXPECT_EQ(window_->bank(0).statusText, "Request aborted.");
    EXPECT_EQ(view_.banks[0].status, "Request aborted.");
    EXPECT_EQ(view_.focusedList, 1);
    const std::string expected = "OnCommand(" + std::to_string(id) + ", 0)\n";
    EXPECT_NE(readFile("banklore_Debug.txt").find(expected), std::string::npos);
    window_.reset();
  }
}

TEST_F(CommandsTest, ActivateMakesItsBankActiveAndFocusesIt) {
  start();
  window_->onCommand(CommandId::ActivateBank1);
  EXPECT_EQ(window_->activeBank(), 1);
  EXPECT_EQ(view_.focusedList, 1);
  window_->onCommand(CommandId::ActivateBank0);
  EXPECT_EQ(window_->activeBank(), 0);
  EXPECT_EQ(view_.focusedList, 0);
}

TEST_F(CommandsTest, ListClickEndsRequestThenActivatesBank) {
  start();
  window_->request().requestActive = true;
  window_->request().requestBank = 0;
  window_->onListClicked(1);
  EXPECT_FALSE(window_->request().requestActive);
  EXPECT_EQ(window_->bank(0).statusText, "Request aborted.");
  EXPECT_EQ(window_->activeBank(), 1);
  window_->onListClicked(7);
  EXPECT_EQ(window_->activeBank(), 1) << "no such list";
}

TEST_F(CommandsTest, CommandsOfOtherModulesReachTheirHandlerWithK) {
  start();
  const std::vector<CommandId> later = {CommandId::SaveSelected,    CommandId::Load,
                                        CommandId::LoadToSelected,  CommandId::SendSelected,
                                        CommandId::RequestSelected, CommandId::ChangeInstrument,
                                        CommandId::Setup,           CommandId::About};
  // Without a handler they do nothing beyond what every command does.
  for (CommandId id : later) window_->onCommand(id);
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_EQ(view_.banks[0].selection, std::vector<int>{0});

  std::vector<std::pair<CommandId, int>> calls;
  for (CommandId id : later) {
    window_->setCommandHandler(id, [&calls, id](int k) { calls.emplace_back(id, k); });
  }
  view_.select(0, {1, 4, 9});
  for (CommandId id : later) window_->onCommand(id);
  ASSERT_EQ(calls.size(), later.size());
  for (std::size_t i = 0; i < later.size(); ++i) {
    EXPECT_EQ(calls[i].first, later[i]);
    EXPECT_EQ(calls[i].second, 3);
  }
}

TEST(ContextMenuRule, EnablingFollowsSelectionCountAndClipboard) {
  constexpr int n = 256;
  struct Row {
    CommandId id;
    bool k0, k1, k2, kN;  // clipboard holding patches
  };
  const std::vector<Row> rows = {
      {CommandId::SelectAll, true, true, true, false},
      {CommandId::SelectNone, false, true, true, true},
      {CommandId::SendSelected, false, true, true, true},
      {CommandId::RequestSelected, false, true, true, true},
      {CommandId::SaveSelected, true, true, true, true},
      {CommandId::Load, true, true, true, true},
      {CommandId::LoadToSelected, false, true, true, true},
      {CommandId::CopyToOtherBank, false, true, true, true},
      {CommandId::Rename, false, true, true, true},
      {CommandId::Copy, false, true, true, true},
      {CommandId::Paste, false, true, true, true},
      {CommandId::Swap, false, false, true, false},
      {CommandId::Move, false, true, true, false},
      {CommandId::Sort, false, false, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.id));
    EXPECT_EQ(contextMenuItemEnabled(row.id, 0, n, false), row.k0);
    EXPECT_EQ(contextMenuItemEnabled(row.id, 1, n, false), row.k1);
    EXPECT_EQ(contextMenuItemEnabled(row.id, 2, n, false), row.k2);
    EXPECT_EQ(contextMenuItemEnabled(row.id, n, n, false), row.kN);
  }
  EXPECT_FALSE(contextMenuItemEnabled(CommandId::Paste, 2, n, true)) << "empty clipboard";
  EXPECT_FALSE(contextMenuItemEnabled(CommandId::Swap, 3, n, false));
}

TEST(ContextMenuRule, MenuHoldsFourteenItemsWithTheirSeparators) {
  const auto items = contextMenuItems();
  ASSERT_EQ(items.size(), 14u);
  EXPECT_EQ(items.front().id, CommandId::SelectAll);
  EXPECT_EQ(items.back().id, CommandId::Sort);
  int separators = 0;
  for (const auto& item : items) separators += item.separatorAfter ? 1 : 0;
  EXPECT_EQ(separators, 8);
  EXPECT_EQ(accelerators().size(), 17u);
  EXPECT_EQ(fileMenuItems().size(), 5u);
}

TEST_F(CommandsTest, ContextMenuOverAListActivatesItsBankAndGraysItems) {
  start();
  view_.select(1, {});
  auto menu = window_->onContextMenu(1);
  ASSERT_TRUE(menu.has_value());
  EXPECT_EQ(window_->activeBank(), 1);
  ASSERT_EQ(menu->size(), 14u);
  for (const ContextMenuEntry& entry : *menu) {
    const bool alwaysOn = entry.id == CommandId::SaveSelected || entry.id == CommandId::Load ||
                          entry.id == CommandId::SelectAll;
    EXPECT_EQ(entry.enabled, alwaysOn) << static_cast<int>(entry.id);
  }

  // Select All leaves the last row focused; the menu then grays Select All.
  window_->onCommand(CommandId::SelectAll);
  EXPECT_EQ(view_.banks[1].selection.size(), 256u);
  EXPECT_EQ(view_.banks[1].focusRow, 255);
  menu = window_->onContextMenu(1);
  ASSERT_TRUE(menu.has_value());
  EXPECT_FALSE((*menu)[0].enabled);
  EXPECT_FALSE((*menu)[12].enabled) << "Move needs k < N";
  EXPECT_FALSE((*menu)[10].enabled) << "Paste needs a clipboard";
  window_->onCommand(CommandId::Copy);
  menu = window_->onContextMenu(1);
  EXPECT_TRUE((*menu)[10].enabled);
}

TEST_F(CommandsTest, ContextMenuElsewhereShowsNothingButStillAborts) {
  start();
  window_->setActiveBank(1);
  window_->request().requestActive = true;
  EXPECT_FALSE(window_->onContextMenu(std::nullopt).has_value());
  EXPECT_FALSE(window_->request().requestActive);
  EXPECT_EQ(window_->activeBank(), 1);
  EXPECT_NE(readFile("banklore_Debug.txt").find("Displaying context menu\n"), std::string::npos);
}

TEST_F(CommandsTest, SelectNoneClearsSelectionAndFocus) {
  start();
  view_.select(0, {2, 3});
  window_->onCommand(CommandId::SelectNone);
  EXPECT_TRUE(view_.banks[0].selection.empty());
  EXPECT_FALSE(view_.banks[0].focusRow.has_value());
  EXPECT_EQ(view_.banks[1].selection, std::vector<int>{0}) << "only the active bank";
}

}  // namespace
}  // namespace banklore::testing
