// What the window does and says when MIDI devices go and come back. A start without MIDI is the
// end-to-end test's (tests/e2e).
#include <thread>

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
  EXPECT_EQ(std::tuple(view_.banks[0].status, view_.banks[0].progress), std::tuple(gone, progress))
      << "the request's bar stays";
  clock_.advance(6 * 2100);  // as with a silent instrument
  EXPECT_EQ(prompts_.messages, S{"Receive Timeout!"});

  plugSynth(true);
  ASSERT_TRUE(runPostedUntil([&] {
    return logged("MIDI IN Synth reconnected.") && logged("MIDI OUT Synth reconnected.");
  }));
  EXPECT_TRUE(view_.banks[1].status.ends_with(" reconnected.")) << view_.banks[1].status;
  startRequestIn(1);
  EXPECT_EQ(loopback::sentMessages("Synth", 1).size(), 1u) << "and a request goes out again";
}

// The box about a status byte the program does not handle opens on the UI thread only, and never
// on top of another: a notice that comes while one is open (the box runs its own event loop) is in
// the log alone.
TEST_F(MidiConnectionTest, UnknownStatusBoxesOpenOnTheUiThreadOneAtATime) {
  loopback::addPort("Synth");
  writeFile("banklore.ini", "[]\nMidiIN=Synth\n");
  BoxPrompts boxes;
  window_ = std::make_unique<MainWindow>(ProgramPaths{dir_, "banklore"}, makeLoopbackBackend,
                                         view_, boxes, clock_);
  window_->initWindow();
  int nested = 0;
  boxes.whileOpen = [&] {
    if (nested++ > 0) return;
    ASSERT_TRUE(loopback::inject("Synth", {0xF6}) && loopback::waitUntilIdle());
    EXPECT_EQ(clock_.runPosted(), 1);
  };
  for (const std::uint8_t status : {0xF4, 0xF9}) {
    ASSERT_TRUE(loopback::inject("Synth", {status}) && loopback::waitUntilIdle());
    EXPECT_EQ(clock_.runPosted(), 1) << "nothing is shown from the MIDI thread";
  }
  ASSERT_EQ(boxes.messages.size(), 2u) << "f6 came while the box of f4 was open";
  EXPECT_TRUE(boxes.messages[0].starts_with("Got unknown (not handled) status byte f4."));
  EXPECT_TRUE(boxes.messages[1].starts_with("Got unknown (not handled) status byte f9."));
  EXPECT_EQ(boxes.threads, std::vector(2, std::this_thread::get_id()));
  EXPECT_TRUE(logged("status byte f6."));
  window_.reset();
}

}  // namespace
}  // namespace banklore::testing
