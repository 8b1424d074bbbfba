// The librarian and banklore-virtual-synth as two programs on a JACK server of the test's own:
// a whole bank fetched, with and without the faults real instruments have, and a whole bank sent,
// each compared byte for byte with what the synth holds.
#include <gtest/gtest.h>

#include "app/event_loop.h"
#include "app/support/app_fixture.h"
#include "e2e/support/synth_over_jack.h"
#include "midi/system_backend.h"

namespace banklore::testing {
namespace {

using namespace std::chrono_literals;

class TransfersOverJack : public SynthOverJack {
 protected:
  TransfersOverJack() : SynthOverJack("e2e") {}
  void TearDown() override {
    window_.reset();
    SynthOverJack::TearDown();
  }

  void startLibrarian() {
    std::ofstream(dir_ + "banklore.ini")
        << "[General]\nInstrument=Virtual\n[Virtual]\nMidiIN=banklore-virtual-synth:out\n"
           "MidiOUT=banklore-virtual-synth:in\nDeviceID=0\nRequestDelay=0\nSendDelay=0\n";
    window_ = std::make_unique<MainWindow>(ProgramPaths{dir_, "banklore"}, makeSystemMidiBackend,
                                           view_, prompts_, loop_);
    window_->initWindow();
    ASSERT_TRUE(window_->midiPort().isInputOpen() && window_->midiPort().isOutputOpen());
    std::vector<int> all(256);
    for (int i = 0; i < 256; ++i) all[i] = i;
    view_.banks[0].selection = all;
  }
  // Fetches all 256 slots and checks that they are what the synth holds.
  void fetchAll(std::chrono::seconds limit) {
    startLibrarian();
    const auto started = std::chrono::steady_clock::now();
    window_->onCommand(CommandId::RequestSelected);
    ASSERT_TRUE(loop_.runUntil([&] { return !window_->request().requestActive; }, limit))
        << "still awaiting slot "
        << window_->request().pendingSlots[window_->request().currentPending];
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    std::cout << "fetched 256 patches in " << took.count() << " s\n";
    EXPECT_EQ(view_.banks[0].status, "Request completed.");
    EXPECT_TRUE(prompts_.messages.empty()) << prompts_.messages.front();
    const Bytes held = stopSynth();
    ASSERT_EQ(held.size(), 256u * 128u);
    EXPECT_TRUE(joined(window_->bank(0).slots) == held)
        << "a fetched patch differs from the synth's";
  }

  FakeView view_;
  FakePrompts prompts_;
  EventLoop loop_;
  std::unique_ptr<test::SynthProcess> synth_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(TransfersOverJack, FetchesAWholeBankByteForByte) {
  startSynth({});
  fetchAll(60s);
}

// Every kind of fault at once: each is repeated until the right patch is in, and a dropped answer
// costs one watchdog timeout.
TEST_F(TransfersOverJack, FetchesAWholeBankThroughDroppedCorruptLateAndWrongSlotAnswers) {
  startSynth({"--drop", "90", "--corrupt", "11", "--wrong-slot", "17", "--delay", "3"});
  fetchAll(90s);
}

TEST_F(TransfersOverJack, FetchesAWholeBankSentInSmallPiecesWithGaps) {
  startSynth({"--split", "20", "--gap", "1"});
  fetchAll(90s);
}

TEST_F(TransfersOverJack, SendsAWholeBankThatTheSynthStores) {
  startSynth({});
  startLibrarian();
  // Every slot gets a patch of the synth's own kind under a new name, checksummed.
  for (int slot = 0; slot < 256; ++slot) {
    window_->bank(0).slots[slot].loadBytes(sentPatch(window_->definition(), slot));
  }
  const Bytes sent = joined(window_->bank(0).slots);
  window_->onCommand(CommandId::SendSelected);
  ASSERT_TRUE(loop_.runUntil([&] { return !window_->sending(); }, 60s));
  EXPECT_EQ(view_.banks[0].status, "256 patches sent.");
  std::this_thread::sleep_for(200ms);  // the last patches travel through JACK
  EXPECT_TRUE(stopSynth() == sent) << "the synth holds something else than was sent";
}

}  // namespace
}  // namespace banklore::testing
