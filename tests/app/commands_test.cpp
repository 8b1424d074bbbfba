// The command entry and the context menu: every command ends a running request, and the menu's
// items are enabled by the selection and the clipboard. What the editing commands do to the banks
// is compared with a reference in editing_reference_test.cpp.
#include <set>

#include "app/support/app_fixture.h"

namespace banklore::testing {
namespace {

using V = std::vector<int>;
using enum CommandId;

using CommandsTest = AppTest;

TEST_F(CommandsTest, EveryCommandEndsARunningRequest) {
  startOnTestDefinition();
  V counts;  // k, as the handlers of other modules' commands are given it
  std::set<CommandId> ids = {CommandId(12345)};  // an unknown one too
  for (CommandId id : {SendSelected, RequestSelected, ChangeInstrument, CommandId::Setup, About}) {
    window_->setCommandHandler(id, [&counts](int k) { counts.push_back(k); });
    ids.insert(id);
  }
  for (const auto& item : contextMenuItems()) ids.insert(item.id);
  for (const auto& item : fileMenuItems()) ids.insert(item.id);
  for (const auto& key : accelerators()) ids.insert(key.id);
  for (const CommandId id : ids) {
    SCOPED_TRACE(int(id));
    startRequestIn(0);
    view_.focused = -1;
    select(1, {1, 4, 9});
    window_->onCommand(id);
    EXPECT_FALSE(window_->request().requestActive);
    EXPECT_EQ(view_.banks[0].status, "Request aborted.");
    EXPECT_EQ(view_.focused, window_->activeBank());
  }
  EXPECT_EQ(counts, V(5, 3));
}

// For k = 0, 1, 2 and all of N = 32 selected, with patches on the clipboard. That the window's
// menu shows what the librarian offers is main_frame_test.cpp's.
TEST_F(CommandsTest, ContextMenuItemsAreEnabledBySelectionCountAndClipboard) {
  const std::map<CommandId, const char*> rule = {
      {SelectAll, "+++-"},      {SelectNone, "-+++"},
      {SendSelected, "-+++"},   {RequestSelected, "-+++"},
      {SaveSelected, "++++"},   {Load, "++++"},
      {LoadToSelected, "-+++"}, {CopyToOtherBank, "-+++"},
      {Rename, "-+++"},         {Copy, "-+++"},
      {Paste, "-+++"},          {Swap, "--+-"},
      {Move, "-++-"},           {Sort, "--++"},
      {MarkDuplicates, "++++"}, {Audition, "-+--"}};
  std::size_t items = 0;
  for (const auto& list : {contextMenuItems(), addedContextMenuItems()}) {
    for (const ContextMenuItem& item : list) {
      std::string enabled;
      for (int k : {0, 1, 2, 32})
        enabled += contextMenuItemEnabled(item.id, k, 32, false) ? '+' : '-';
      ASSERT_TRUE(rule.contains(item.id)) << item.text;
      EXPECT_EQ(enabled, rule.at(item.id)) << item.text;
      ++items;
    }
  }
  EXPECT_EQ(items, rule.size());
  EXPECT_FALSE(contextMenuItemEnabled(Paste, 2, 32, true)) << "empty clipboard";
}

}  // namespace
}  // namespace banklore::testing
