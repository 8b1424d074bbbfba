// Send Selected and Request Selected in the window, in virtual time, against an instrument played
// by the test over the in-process MIDI ports: what the user is shown and when things go out. Which
// patch lands where, whatever the instrument does, and the watchdog's bounds are the model's
// (transfer_model_test.cpp); that every command ends a request is commands_test.cpp's.
#include <tuple>

#include "app/support/app_fixture.h"

namespace banklore::testing {
namespace {

using V = std::vector<int>;
using enum CommandId;

class TransfersTest : public AppTest {
 protected:
  void startSynth(int delayMs, const std::string& definition = "") {
    loopback::reset();
    loopback::addPort("Out", LoopbackDirection::OutputOnly);
    loopback::addPort("In", LoopbackDirection::InputOnly);
    const std::string delay = std::to_string(delayMs);
    startOnTestDefinition(definition, "MidiIN=In\nMidiOUT=Out\nSendDelay=" + delay +
                                          "\nRequestDelay=" + delay + "\n");
    for (int slot = 0; slot < window_->slotCount(); ++slot)
      window_->bank(0).slots[slot].loadBytes(patchMessage(slot, "p" + std::to_string(slot)));
  }
  // The instrument answers each request with the slot's patch named "got<slot>".
  void answerEveryRequest() {
    loopback::setResponder("Out", [](std::span<const std::uint8_t> m) {
      if (m.size() == 7 && m[3] == 0x11)
        loopback::inject("In",
                         patchMessage(m[4] * 16 + m[5], "got" + std::to_string(m[4] * 16 + m[5])));
    });
  }
  void play(const Bytes& message) { AppTest::play("In", message); }
  // Slots the requests sent so far asked for, in order.
  V requested() const {
    V slots;
    for (const Bytes& m : loopback::sentMessages("Out")) {
      if (m.size() == 7 && m[3] == 0x11) slots.push_back(m[4] * 16 + m[5]);
    }
    return slots;
  }
  std::size_t sent() const { return loopback::sentMessages("Out").size(); }
  // Status, progress (maximum, position) and beeps of a bank.
  auto shown(int bank) const {
    return std::tuple(view_.banks[bank].status, view_.banks[bank].progress, view_.beeps);
  }
  using Shown = std::tuple<std::string, std::pair<int, int>, int>;
};

TEST_F(TransfersTest, RequestAsksInSlotOrderPausesBetweenSlotsAndTellsEachStep) {
  startSynth(415);
  answerEveryRequest();
  select(1, {9, 2, 5});  // the view hands them over in any order
  window_->onCommand(RequestSelected);
  EXPECT_EQ(std::tuple(requested(), view_.banks[1].status),
            std::tuple(V{2}, "Receiving patches..."));
  deliver();
  EXPECT_EQ(shown(1), Shown("Got patch 2", {3, 1}, 0));
  clock_.advance(414);
  EXPECT_EQ(requested(), V{2}) << "the request delay comes before the next request";
  clock_.advance(416);
  deliver();
  clock_.advance(415);
  deliver();
  EXPECT_EQ(shown(1), Shown("Request completed.", {1, 1}, 1));
  EXPECT_EQ(std::tuple(requested(), slotName(1, 9), slotName(0, 9)),
            std::tuple(V{2, 5, 9}, "got9", "p9"));
  play(patchMessage(4, "unasked"));
  EXPECT_EQ(slotName(1, 4), "b4") << "input while no request runs is not stored";

  // A bad packet is followed by twice the request delay before the slot is asked for again.
  loopback::setResponder("Out", {});
  window_->onCommand(RequestSelected);
  Bytes damaged = patchMessage(2, "bad");
  damaged.erase(damaged.begin() + 10);
  play(damaged);
  clock_.advance(2 * 415 - 1);
  EXPECT_EQ(requested().size(), 4u);
  clock_.advance(1);
  EXPECT_EQ(requested().size(), 5u);
}

// A valid patch for another slot is stored there and the awaited slot asked again; a bad packet
// marks the awaited slot; six answers in a row that do not fit end the request with the reason,
// and a fitting one in between starts the count again.
// Ten slots in banks of sixteen: an answer for place 12 of bank A names no slot the bank has.
TEST_F(TransfersTest, AnAnswerForASlotBeyondTheBankIsNotStoredAndSaysSo) {
  startSynth(0, "NumTotalPatches=10\n");
  const Bytes last = slotBytes(0, 9);
  select(0, {3, 4});
  window_->onCommand(RequestSelected);
  play(patchMessage(12, "beyond"));
  EXPECT_EQ(prompts_.messages.back(),
            "Unable to store sound to location 12, beyond the last slot (9), maybe error in "
            "instrument definition?");
  EXPECT_EQ(std::tuple(slotBytes(0, 9), view_.banks[0].status, requested()),
            std::tuple(last, "Request completed.", V{3}));
}

TEST_F(TransfersTest, AnswersThatDoNotFitAreRetriedAndSixInARowEndTheRequestWithTheReason) {
  startSynth(0);
  select(0, {5, 6});
  window_->onCommand(RequestSelected);
  play(patchMessage(7, "seven"));
  EXPECT_EQ(std::tuple(slotName(0, 7), view_.banks[0].status, requested()),
            std::tuple("seven", "Got patch 7", V{5, 5}));
  Bytes damaged = patchMessage(5, "five");
  damaged.erase(damaged.begin() + 10);  // one byte short
  play(damaged);
  EXPECT_EQ(std::tuple(slotName(0, 5), view_.banks[0].status, requested()),
            std::tuple("????????", "Packet error, retrying patch...", V{5, 5, 5}));
  Bytes foreign = patchMessage(5, "five");
  foreign[1] = 0x41;  // another manufacturer's
  for (const Bytes& m : {foreign, patchMessage(8, "eight"), foreign, foreign}) play(m);
  EXPECT_EQ(prompts_.messages,
            S{"Slot A005 did not arrive: the instrument answered 6 times in a row with something "
              "else. Last answer: byte 1 is 41 where the \"Send\" template expects 7D. Check that "
              "the instrument definition and the device ID match the instrument."});
  EXPECT_EQ(view_.banks[0].status + slotName(0, 6), "Ready.p6") << "slot 6 never reached";

  prompts_.messages.clear();
  window_->onCommand(RequestSelected);
  for (int i = 0; i < 11; ++i) play(i == 5 ? patchMessage(5, "five") : damaged);
  EXPECT_EQ(prompts_.messages, S{}) << "the fitting answer started the count again";
  play(damaged);
  EXPECT_EQ(prompts_.messages.size(), 1u);
}

TEST_F(TransfersTest, SendTellsItsProgressAndPausesAfterEachPatch) {
  startSynth(415);
  select(0, {2, 5, 9});
  window_->onCommand(SendSelected);
  clock_.advance(414);
  EXPECT_EQ(std::tuple(view_.banks[0].status, sent()), std::tuple("Sending patches...", 1u));
  clock_.advance(416);
  EXPECT_EQ(shown(0), Shown("Sending patches...", {3, 3}, 0)) << "the pause follows the last patch";
  clock_.advance(415);
  EXPECT_EQ(shown(0), Shown("3 patches sent.", {1, 1}, 1));

  // With a patch select before each, no delay, an empty slot left out; then without an output.
  startSynth(0, "PatchSelect=f0,7d,u1,12,t1,s1,f7\n");
  window_->bank(0).slots[4] = Patch(window_->definition());
  select(0, {3, 4, 17});
  window_->onCommand(SendSelected);
  clock_.advance(0);
  EXPECT_EQ(loopback::sentMessages("Out"), (std::vector<Bytes>{{0xF0, 0x7D, 13, 0x12, 0, 3, 0xF7},
                                                               patchMessage(3, "p3"),
                                                               {0xF0, 0x7D, 13, 0x12, 1, 1, 0xF7},
                                                               patchMessage(17, "p17")}));
  EXPECT_EQ(view_.banks[0].status, "2 patches sent, 1 empty slot skipped.");
  window_->midiPort().Close();
  select(0, {3, 17});
  window_->onCommand(SendSelected);
  EXPECT_EQ(view_.banks[0].status, "0 patches sent, 2 refused by the MIDI output.");
  EXPECT_FALSE(window_->sending());
}

// While sending, commands, clicks, menus and drops are refused, each heard; closing stops the send
// first. How Space stops it is the window's test (tests/ui).
TEST_F(TransfersTest, NothingElseInterleavesWithASend) {
  startSynth(415);
  select(0, {1, 2, 3});
  window_->onCommand(SendSelected);
  ASSERT_TRUE(window_->sending());
  const int beeps = view_.beeps;
  for (CommandId id : {SelectNone, Sort, Load, RequestSelected, CommandId::Setup})
    window_->onCommand(id);
  window_->onListClicked(1);
  window_->onFilesDropped(0, {path("x.syx")});
  EXPECT_FALSE(window_->onContextMenu(0).has_value());
  EXPECT_EQ(std::tuple(view_.banks[0].selection, window_->activeBank(), requested(), view_.beeps),
            std::tuple(V{1, 2, 3}, 0, V{}, beeps + 5));
  window_->onCommand(Quit);
  EXPECT_EQ(std::tuple(view_.banks[0].status, view_.endRuns),
            std::tuple("1 patches sent (33%).", 1));
  clock_.advance(5000);
  EXPECT_EQ(sent(), 1u) << "nothing after closing";
}

}  // namespace
}  // namespace banklore::testing
