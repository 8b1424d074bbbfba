// What the window does and says when MIDI devices go and come back, when there is no MIDI system
// at start, and when the instrument sends status bytes the program does not handle.
#include <thread>

#include "midi/system_backend.h"
#include "platform/debug_log.h"
#include "support/app_fixture.h"

namespace banklore::testing {
namespace {

using namespace std::chrono_literals;

class MidiConnectionTest : public AppTest {
 protected:
  // Runs what the MIDI side posts to the UI thread until `done` holds (a deadline for a hang, not
  // a time limit: a slow machine gets there well before it).
  bool runPostedUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      clock_.runPosted();
      std::this_thread::sleep_for(2ms);
    }
    return done();
  }
  // A device with an input and an output port of the same name, as a USB synth has.
  static void plugSynth(bool announced) {
    for (const auto direction : {LoopbackDirection::InputOnly, LoopbackDirection::OutputOnly}) {
      announced ? loopback::plugIn("Synth", direction) : loopback::addPort("Synth", direction);
    }
  }

  // Message boxes that note the thread they open on and run `whileOpen` as their event loop.
  struct BoxPrompts : FakePrompts {
    std::function<void()> whileOpen;
    std::vector<std::thread::id> threads;
    void message(const std::string& text) override {
      threads.push_back(std::this_thread::get_id());
      FakePrompts::message(text);
      if (whileOpen) whileOpen();
    }
  };
  BoxPrompts boxes_;
};

TEST_F(MidiConnectionTest, AnInstrumentUnpluggedMidRequestIsToldAndReconnectedWhenItIsBack) {
  plugSynth(false);
  startOnTestDefinition("", "MidiIN=Synth\nMidiOUT=Synth\nRequestDelay=0\n");
  startRequestIn(0);
  const auto progress = view_.banks[0].progress;

  loopback::unplug("Synth");
  const std::string gone =
      "MIDI IN Synth is gone; it is reconnected when it is back. "
      "MIDI OUT Synth is gone; it is reconnected when it is back.";
  ASSERT_TRUE(runPostedUntil([&] { return view_.banks[1].status == gone; }))
      << view_.banks[1].status;
  EXPECT_EQ(view_.banks[0].status, gone);
  EXPECT_EQ(view_.banks[0].progress, progress) << "the request's bar stays";
  EXPECT_TRUE(
      logged("MIDI IN Synth is gone; it is reconnected when it is back.\n"
             "MIDI OUT Synth is gone; it is reconnected when it is back.\n"));
  // The request ends as with a silent instrument: asked six times more, then the box.
  clock_.advance(6 * 2100);
  EXPECT_EQ(prompts_.messages, S{"Receive Timeout!"});
  EXPECT_EQ(view_.banks[0].status, "Ready.");

  plugSynth(true);
  ASSERT_TRUE(runPostedUntil([&] {
    return logged("MIDI IN Synth reconnected.") && logged("MIDI OUT Synth reconnected.");
  }));
  EXPECT_TRUE(view_.banks[1].status.ends_with(" reconnected.")) << view_.banks[1].status;
  // And it works again: a request goes out and its answer comes in.
  S got;
  window_->setMidiDataHandler([&](auto bytes) { got.emplace_back(bytes.begin(), bytes.end()); });
  startRequestIn(1);
  EXPECT_EQ(loopback::sentMessages("Synth", 1).size(), 1u);
  ASSERT_TRUE(loopback::inject("Synth", {0xF0, 0x7D, 0x01, 0xF7}));
  ASSERT_TRUE(runPostedUntil([&] { return !got.empty(); }));
  EXPECT_EQ(got, S{"\xF0\x7D\x01\xF7"});
}

TEST_F(MidiConnectionTest, WithoutMidiAtStartTheStatusSaysWhyAndSetupLooksAgain) {
  loopback::addPort("Synth");
  writeFile("banklore.ini", "[]\nMidiIN=Synth\nMidiOUT=Synth\n");
  int made = 0;
  start([&made]() -> std::unique_ptr<MidiBackend> {
    if (made++ == 0) return makeUnavailableMidiBackend("no JACK server answers");
    return makeLoopbackBackend();
  });
  const std::string why = "No MIDI: no JACK server answers. Setup tries again.";
  EXPECT_EQ(view_.banks[0].status, why);
  EXPECT_EQ(view_.banks[1].status, why);
  EXPECT_FALSE(window_->midiPort().isInputOpen());

  SetupValues shown;
  prompts_.onSetup = [&](SetupValues& values) {
    shown = values;
    return false;
  };
  window_->onCommand(CommandId::Setup);
  EXPECT_EQ(made, 2);
  EXPECT_EQ(shown.inputNames, S{"Synth"}) << "the dialog lists what the new look found";
  EXPECT_TRUE(window_->midiPort().isInputOpen() && window_->midiPort().isOutputOpen())
      << "the stored ports open, even after Cancel";
  EXPECT_TRUE(logged("Looking for MIDI again\n"));
  window_->onCommand(CommandId::Setup);
  EXPECT_EQ(made, 2) << "with MIDI there, Setup does not look again";
}

// The box about a status byte the program does not handle opens on the UI thread only, and never
// on top of another: a notice that comes while one is open (the box runs its own event loop) is in
// the log alone.
TEST_F(MidiConnectionTest, UnknownStatusBoxesOpenOnTheUiThreadOneAtATime) {
  loopback::addPort("Synth");
  writeFile("banklore.ini", "[]\nMidiIN=Synth\n");
  window_ = std::make_unique<MainWindow>(ProgramPaths{dir_, "banklore"}, makeLoopbackBackend(),
                                         view_, boxes_, clock_);
  window_->initWindow();
  ASSERT_TRUE(loopback::inject("Synth", {0xF4}));
  ASSERT_TRUE(loopback::waitUntilIdle());
  EXPECT_TRUE(boxes_.messages.empty()) << "nothing is shown from the MIDI thread";
  int nested = 0;
  boxes_.whileOpen = [&] {
    if (nested++ > 0) return;
    ASSERT_TRUE(loopback::inject("Synth", {0xF6}));
    ASSERT_TRUE(loopback::waitUntilIdle());
    EXPECT_EQ(clock_.runPosted(), 1);
  };
  EXPECT_EQ(clock_.runPosted(), 1);
  EXPECT_EQ(nested, 1);
  ASSERT_EQ(boxes_.messages.size(), 1u) << "the second came while the first box was open";
  EXPECT_TRUE(boxes_.messages[0].starts_with("Got unknown (not handled) status byte f4."));
  EXPECT_EQ(boxes_.threads, std::vector<std::thread::id>{std::this_thread::get_id()});
  EXPECT_TRUE(logged("status byte f6."));
  // With the box closed, the next notice gets a box of its own.
  ASSERT_TRUE(loopback::inject("Synth", {0xF9}));
  ASSERT_TRUE(loopback::waitUntilIdle());
  EXPECT_EQ(clock_.runPosted(), 1);
  ASSERT_EQ(boxes_.messages.size(), 2u);
  EXPECT_TRUE(boxes_.messages[1].starts_with("Got unknown (not handled) status byte f9."));
}

}  // namespace
}  // namespace banklore::testing
