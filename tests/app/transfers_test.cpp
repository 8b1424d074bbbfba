// Send Selected and Request Selected in virtual time, against an instrument played by the test over
// the in-process MIDI ports: what goes out when, what is stored where, and what the user is shown.
#include <tuple>

#include "app/support/app_fixture.h"
#include "platform/debug_log.h"

namespace banklore::testing {
namespace {

using V = std::vector<int>;
using enum CommandId;

constexpr const char* kOut = "SynthOut";  // what the librarian sends to
constexpr const char* kIn = "SynthIn";    // what it listens to

class TransfersTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    loopback::addPort(kOut, LoopbackDirection::OutputOnly);
    loopback::addPort(kIn, LoopbackDirection::InputOnly);
  }
  void startSynth(int delayMs, const std::string& definition = "") {
    const std::string delays =
        "SendDelay=" + std::to_string(delayMs) + "\nRequestDelay=" + std::to_string(delayMs) + "\n";
    startOnTestDefinition(definition, "MidiIN=SynthIn\nMidiOUT=SynthOut\n" + delays);
    ASSERT_TRUE(window_->midiPort().isInputOpen() && window_->midiPort().isOutputOpen());
  }
  // The instrument answers each request with what `answer` gives for the slot (nothing: silence).
  void answerWith(std::function<std::optional<Bytes>(int slot)> answer) {
    loopback::setResponder(kOut, [answer](std::span<const std::uint8_t> message) {
      if (message.size() == 7 && message[3] == 0x11) {
        if (auto reply = answer(message[4] * 16 + message[5])) loopback::inject(kIn, *reply);
      }
    });
  }
  void play(const Bytes& message) { AppTest::play(kIn, message); }
  // Slots the requests sent so far asked for, in order.
  V requested() const {
    V slots;
    for (const Bytes& m : loopback::sentMessages(kOut)) {
      if (m.size() == 7 && m[3] == 0x11) slots.push_back(m[4] * 16 + m[5]);
    }
    return slots;
  }
  void fillWithPatches(int bank) {
    for (int slot = 0; slot < 32; ++slot) {
      window_->bank(bank).slots[slot].loadBytes(patchMessage(slot, "p" + std::to_string(slot)));
    }
  }
  const std::string& status(int bank) const { return view_.banks[bank].status; }
  std::pair<int, int> progress(int bank) const { return view_.banks[bank].progress; }
};

TEST_F(TransfersTest, RequestAsksInListOrderPausesBetweenSlotsAndStoresEachAnswer) {
  startSynth(415);
  answerWith([](int slot) { return patchMessage(slot, "got" + std::to_string(slot)); });
  select(1, {9, 2, 5});  // the view hands them over in any order
  window_->onCommand(RequestSelected);
  EXPECT_EQ(requested(), V{2}) << "the first request goes out at once";
  EXPECT_EQ(status(1), "Receiving patches...");
  deliver();
  EXPECT_EQ(std::tuple(status(1), progress(1), view_.banks[1].refreshed),
            std::tuple("Got patch 2", std::pair(3, 1), V{2}));
  clock_.advance(414);
  EXPECT_EQ(requested(), V{2}) << "the request delay comes before the next request";
  clock_.advance(1);
  deliver();
  clock_.advance(415);
  deliver();
  EXPECT_EQ(requested(), (V{2, 5, 9}));
  EXPECT_EQ(names(1, 0, 10), (S{"b0", "b1", "got2", "b3", "b4", "got5", "b6", "b7", "b8", "got9"}));
  EXPECT_EQ(slotBytes(1, 9), patchMessage(9, "got9")) << "stored as it came";
  EXPECT_EQ(std::tuple(status(1), progress(1), view_.beeps),
            std::tuple("Request completed.", std::pair(1, 1), 1));
  EXPECT_EQ(names(0, 2, 1), S{"a2"}) << "only the active bank is filled";
  EXPECT_EQ(loopback::sentMessages(kOut).back()[2], 13) << "device ID 3";

  // Input while no request runs is not stored.
  play(patchMessage(4, "unasked"));
  EXPECT_EQ(slotName(1, 4), "b4");

  // A bad packet is followed by twice the request delay before the slot is asked for again.
  answerWith([](int) { return std::nullopt; });
  window_->onCommand(RequestSelected);
  Bytes damaged = patchMessage(2, "bad");
  damaged.erase(damaged.begin() + 10);
  play(damaged);
  const std::size_t asked = requested().size();
  clock_.advance(2 * 415 - 1);
  EXPECT_EQ(requested().size(), asked);
  clock_.advance(1);
  EXPECT_EQ(requested().size(), asked + 1);
}

// The watchdog: seven requests at 0 s and after each of six timeouts of more than 2,000 ms (seen
// on a 100 ms tick), then the box and "Ready.". An answer at 1,999 ms is in time.
TEST_F(TransfersTest, WatchdogRepeatsASilentRequestSixTimesThenGivesUp) {
  startSynth(0);
  const Bytes kept = patchMessage(3, "kept", 0, 5);  // another device than the one asked with
  window_->bank(0).slots[3].loadBytes(kept);
  select(0, {3});
  window_->onCommand(RequestSelected);
  // Time moved on, then the requests and boxes so far (exactly 2,000 ms is not a timeout).
  for (const auto& [ms, requests, boxes] : std::vector<std::tuple<std::uint32_t, int, int>>{
           {2000, 1, 0}, {100, 2, 0}, {5 * 2100 - 1, 6, 0}, {1, 7, 1}, {10000, 7, 1}}) {
    clock_.advance(ms);
    EXPECT_EQ(requested(), V(requests, 3)) << ms;
    EXPECT_EQ(prompts_.messages.size(), std::size_t(boxes)) << ms;
  }
  EXPECT_EQ(std::tuple(prompts_.messages[0], status(0), view_.beeps),
            std::tuple("Receive Timeout!", "Ready.", 0));
  EXPECT_EQ(slotBytes(0, 3), kept) << "asking for a slot leaves what it held alone";

  loopback::clearSentMessages(kOut);
  window_->onCommand(RequestSelected);
  clock_.advance(1999);
  play(patchMessage(3, "late"));
  clock_.advance(5000);
  EXPECT_EQ(std::tuple(requested(), slotName(0, 3), status(0)),
            std::tuple(V{3}, "late", "Request completed."));
}

// Answers that do not fit: a valid patch for another slot is stored there and the awaited slot is
// asked for again; a bad packet marks the awaited slot; a short message or an input error
// requests nothing. Six answers in a row that do not fit end the request with the reason.
TEST_F(TransfersTest, AnswersThatDoNotFitAreRetriedAndSixInARowEndTheRequestWithTheReason) {
  startSynth(0);
  answerWith([](int) { return std::nullopt; });
  select(0, {5, 6});
  window_->onCommand(RequestSelected);
  play(patchMessage(7, "seven"));
  EXPECT_EQ(std::tuple(slotName(0, 7), status(0), requested()),
            std::tuple("seven", "Got patch 7", V{5, 5}));
  EXPECT_EQ(progress(0), std::pair(2, 0)) << "the bar counts awaited slots only";

  Bytes damaged = patchMessage(5, "five");
  damaged.erase(damaged.begin() + 10);  // one byte short
  play(damaged);
  EXPECT_EQ(std::tuple(slotName(0, 5), status(0), requested()),
            std::tuple("????????", "Packet error, retrying patch...", V{5, 5, 5}));

  play({0x94, 0x3C, 0x64});
  ASSERT_TRUE(loopback::injectError(kIn, MidiInputError::Long));
  deliver();
  EXPECT_EQ(requested().size(), 3u) << "the watchdog repeats after an input error";

  Bytes foreign = patchMessage(5, "five");
  foreign[1] = 0x41;  // another manufacturer's
  play(foreign);
  play(patchMessage(8, "eight"));
  play(foreign);
  EXPECT_EQ(prompts_.messages, S{}) << "five answers in a row so far";
  play(foreign);
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0],
            "Slot A005 did not arrive: the instrument answered 6 times in a row with something "
            "else. Last answer: byte 1 is 41 where the \"Send\" template expects 7D. Check that "
            "the instrument definition and the device ID match the instrument.");
  EXPECT_EQ(status(0) + slotName(0, 6), "Ready.a6") << "slot 6 never reached";

  // The same for a length, and a fitting answer in between starts the count again.
  prompts_.messages.clear();
  window_->onCommand(RequestSelected);
  for (int i = 0; i < 5; ++i) play(damaged);
  play(patchMessage(5, "five"));
  Bytes cut(damaged.begin(), damaged.begin() + 20);
  cut.push_back(0xF7);
  for (int i = 0; i < 5; ++i) play(cut);
  EXPECT_EQ(prompts_.messages, S{}) << "the fitting answer started the count again";
  play(cut);
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_NE(
      prompts_.messages[0].find(
          "Slot A006 did not arrive: the instrument answered 6 times in a row with something else. "
          "Last answer: 21 bytes long, but a patch of this instrument is 27 bytes (PatchSize)."),
      std::string::npos)
      << prompts_.messages[0];
}

TEST_F(TransfersTest, ClickCommandOrClosingAbortsTheRequestAndLaterPacketsAreIgnored) {
  const std::vector<std::function<void(MainWindow&)>> aborts = {
      [](MainWindow& w) { w.onListClicked(1); }, [](MainWindow& w) { w.onCommand(SelectNone); },
      [](MainWindow& w) { w.onContextMenu(0); }, [](MainWindow& w) { w.close(); }};
  for (std::size_t i = 0; i < aborts.size(); ++i) {
    SCOPED_TRACE(i);
    startSynth(100);
    select(0, {4, 5});
    window_->onCommand(RequestSelected);
    play(patchMessage(4, "four"));  // a request for 5 now waits for its pause
    aborts[i](*window_);
    EXPECT_EQ(status(0), "Request aborted.");
    clock_.advance(10000);
    EXPECT_EQ(requested(), V{4}) << "the paused request never goes out";
    play(patchMessage(5, "five"));
    EXPECT_EQ(names(0, 4, 2), (S{"four", "a5"})) << "what arrived stays, nothing more";
    loopback::clearSentMessages(kOut);
  }
  // With nothing selected the command does nothing, not even a status, but still aborts.
  startSynth(0);
  select(0, {1});
  window_->onCommand(RequestSelected);
  select(1, {});
  window_->onCommand(RequestSelected);
  EXPECT_EQ(status(0) + status(1), "Request aborted.Ready.");
  EXPECT_EQ(requested(), V{1});
}

TEST_F(TransfersTest, AnAnswerForASlotBeyondTheBankEndsTheRequest) {
  // Ten slots in banks of sixteen: place 12 of bank A names no slot of the bank.
  startSynth(0, "NumTotalPatches=10\n");
  const Bytes before = slotBytes(0, 9);
  select(0, {3, 4});
  window_->onCommand(RequestSelected);
  play(patchMessage(12, "beyond"));
  EXPECT_EQ(prompts_.messages.back(),
            "Unable to store sound to location 12, beyond the last slot (9), maybe error in "
            "instrument definition?");
  EXPECT_EQ(slotBytes(0, 9), before);
  EXPECT_EQ(std::tuple(status(0), requested()), std::tuple("Request completed.", V{3}));
}

TEST_F(TransfersTest, SendAddressesEachSelectedPatchToItsSlotAndPausesAfterEach) {
  startSynth(415);
  fillWithPatches(1);
  window_->bank(1).slots[2].loadBytes(patchMessage(7, "seven"));  // copied from slot 7 earlier
  select(1, {2, 5, 9});
  window_->onCommand(SendSelected);
  EXPECT_EQ(status(1), "Sending patches...");
  clock_.advance(414);
  EXPECT_EQ(loopback::sentMessages(kOut).size(), 1u);
  clock_.advance(1);
  EXPECT_EQ(std::tuple(loopback::sentMessages(kOut).size(), progress(1)),
            std::tuple(2u, std::pair(3, 2)));
  clock_.advance(415);
  EXPECT_EQ(status(1), "Sending patches...") << "the pause follows the last patch too";
  clock_.advance(415);
  EXPECT_EQ(std::tuple(status(1), progress(1), view_.beeps),
            std::tuple("3 patches sent.", std::pair(1, 1), 1));
  Bytes seven = patchMessage(2, "seven");
  std::copy_n(patchMessage(7, "seven").begin() + 6, 19, seven.begin() + 6);
  seven[25] = patchMessage(7, "seven")[25];
  EXPECT_EQ(slotBytes(1, 2), seven) << "the stored patch is renumbered to its slot";
}

TEST_F(TransfersTest, SendWithPatchSelectDelayZeroEmptySlotsAndNoOutput) {
  startSynth(0, "PatchSelect=f0,7d,u1,12,t1,s1,f7\n");
  fillWithPatches(0);
  window_->bank(0).slots[4] = Patch(window_->definition());  // never filled
  select(0, {3, 4, 17});
  window_->onCommand(SendSelected);
  clock_.advance(0);
  EXPECT_EQ(loopback::sentMessages(kOut), (std::vector<Bytes>{{0xF0, 0x7D, 13, 0x12, 0, 3, 0xF7},
                                                              patchMessage(3, "p3"),
                                                              {0xF0, 0x7D, 13, 0x12, 1, 1, 0xF7},
                                                              patchMessage(17, "p17")}))
      << "back to back, each after its own patch select, the empty slot left out";
  EXPECT_EQ(status(0), "2 patches sent, 1 empty slot skipped.");

  // No output open: nothing went out, and the text says so.
  window_->midiPort().Close();
  select(0, {3, 17});
  window_->onCommand(SendSelected);
  EXPECT_EQ(status(0), "0 patches sent, 2 refused by the MIDI output.");
  EXPECT_FALSE(window_->sending());
}

// Space held when the command starts sends nothing; pressed during the run, it stops before the
// next patch. While sending, commands, clicks, menus and drops are refused; closing stops first.
TEST_F(TransfersTest, SpaceStopsASendAndNothingElseInterleavesWithIt) {
  startSynth(415);
  fillWithPatches(0);
  select(0, {1, 2, 3});
  window_->onStopKey(true);
  window_->onCommand(SendSelected);
  EXPECT_EQ(std::tuple(status(0), loopback::sentMessages(kOut).size()),
            std::tuple("0 patches sent (0%).", 0u));
  window_->onStopKey(false);

  window_->onCommand(SendSelected);
  window_->onStopKey(true);
  window_->onStopKey(false);  // a tap during the pause is enough
  clock_.advance(415);
  EXPECT_EQ(std::tuple(status(0), loopback::sentMessages(kOut).size()),
            std::tuple("1 patches sent (33%).", 1u));

  window_->onCommand(SendSelected);
  ASSERT_TRUE(window_->sending());
  const int beeps = view_.beeps;
  for (CommandId id : {SelectNone, Sort, Load, RequestSelected, CommandId::Setup})
    window_->onCommand(id);
  window_->onListClicked(1);
  window_->onFilesDropped(0, {path("x.syx")});
  EXPECT_FALSE(window_->onContextMenu(0).has_value());
  EXPECT_EQ(std::tuple(view_.banks[0].selection, window_->activeBank(), requested()),
            std::tuple(V{1, 2, 3}, 0, V{}));
  EXPECT_EQ(view_.beeps, beeps + 5) << "each refused command is heard";
  window_->onCommand(Quit);
  EXPECT_EQ(std::tuple(status(0), view_.endRuns), std::tuple("1 patches sent (33%).", 1));
  clock_.advance(5000);
  EXPECT_EQ(loopback::sentMessages(kOut).size(), 2u) << "nothing after closing";
}

}  // namespace
}  // namespace banklore::testing
