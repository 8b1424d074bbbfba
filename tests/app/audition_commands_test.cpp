// Audition in the window: what goes to the edit buffer for each way of asking, what is refused,
// and that no bank, unsaved mark or undo step ever changes.
#include "support/app_fixture.h"

namespace banklore::testing {
namespace {

using AuditionCommandsTest = AppTest;

// The test definition's patch of `slot` as its edit-buffer message: F0 7D 0D 20, the 19 data bytes,
// their checksum, F7.
Bytes editBufferMessage(int slot) {
  Bytes message = patchMessage(slot, "p" + std::to_string(slot), slot, 0x0D);
  message.erase(message.begin() + 3, message.begin() + 5);  // F0 7D 0D <program>: its type now
  message[3] = 0x20;
  return message;
}

TEST_F(AuditionCommandsTest, EachWayOfAskingPlaysOneSlotAndNothingElseChanges) {
  loopback::addPort("Synth");
  startOnTestDefinition("Audition=f0,7d,u1,20\n", "MidiOUT=Synth\nPlaySelected=1\n");
  fill({5, 7, 9});
  const auto before = banks();
  const std::size_t steps = window_->undoHistory().undoCount();
  std::vector<Bytes> expected;

  select(0, {5});
  window_->onCommand(CommandId::Audition);
  expected.push_back(editBufferMessage(5));
  EXPECT_EQ(view_.banks[0].status, "Playing A005 p5 in the edit buffer.");
  window_->onListDoubleClicked(0, 9);
  expected.push_back(editBufferMessage(9));
  window_->onListDoubleClicked(0, 6);
  EXPECT_EQ(view_.banks[0].status, "A006 holds no valid patch: nothing was played.");
  select(0, {5, 7});
  window_->onCommand(CommandId::Audition);  // not one slot: nothing

  // Walking by ear: only the slot the cursor rests on for the whole time is heard.
  window_->onCursorMoved(0, 5);
  clock_.advance(AuditionPlayer::kRestMs - 1);
  window_->onCursorMoved(0, 7);
  clock_.advance(AuditionPlayer::kRestMs - 1);
  EXPECT_EQ(loopback::sentMessages("Synth"), expected);
  clock_.advance(1);
  expected.push_back(editBufferMessage(7));

  // Refused while a request runs, which goes on.
  startRequestIn(1);
  const auto requested = loopback::sentMessages("Synth").size();
  select(0, {5});
  const int beeps = view_.beeps;
  window_->onCommand(CommandId::Audition);
  window_->onCursorMoved(0, 9);
  clock_.advance(AuditionPlayer::kRestMs);
  EXPECT_TRUE(window_->request().requestActive);
  EXPECT_EQ(view_.beeps, beeps + 1);
  EXPECT_EQ(loopback::sentMessages("Synth").size(), requested);
  window_->AbortRequest();

  auto sent = loopback::sentMessages("Synth");
  std::erase_if(sent, [](const Bytes& m) { return m.size() > 3 && m[3] != 0x20; });
  EXPECT_EQ(sent, expected);
  EXPECT_EQ(banks(), before);
  EXPECT_EQ(changed(), "00");
  EXPECT_EQ(window_->undoHistory().undoCount(), steps);
}

TEST_F(AuditionCommandsTest, WithoutAnAuditionKeyTheEntriesAreGreyAndTheStatusSaysWhy) {
  loopback::addPort("Synth");
  startOnTestDefinition("", "MidiOUT=Synth\nPlaySelected=1\n");
  fill({5});
  select(0, {5});
  const auto menu = window_->onContextMenu(0);
  ASSERT_TRUE(menu.has_value());
  const auto item = std::find_if(menu->begin(), menu->end(),
                                 [](const auto& e) { return e.id == CommandId::Audition; });
  ASSERT_NE(item, menu->end());
  EXPECT_FALSE(item->enabled);
  window_->onCommand(CommandId::Audition);
  EXPECT_EQ(view_.banks[0].status,
            "The definition of Test has no Audition key: its patches cannot be played in the edit "
            "buffer.");
  window_->onCursorMoved(0, 5);
  clock_.advance(AuditionPlayer::kRestMs);
  EXPECT_TRUE(loopback::sentMessages("Synth").empty());
}

}  // namespace
}  // namespace banklore::testing
