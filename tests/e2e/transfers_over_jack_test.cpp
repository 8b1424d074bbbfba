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

  // The window on the settings written last, its ports open.
  void openWindow() {
    window_.reset();  // its ports closed first
    window_ = std::make_unique<MainWindow>(ProgramPaths{dir_, "banklore"}, makeSystemMidiBackend,
                                           view_, prompts_, loop_);
    window_->initWindow();
    ASSERT_TRUE(window_->midiPort().isInputOpen() && window_->midiPort().isOutputOpen());
  }
  void startLibrarian() {
    writeSettings("Virtual", 0);
    openWindow();
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

// Every answer comes twice and after the engine has asked again, and the patch messages leave
// part of the slot to the request: each extra answer must be told from the next slot's.
TEST_F(TransfersOverJack, LateRepeatedAnswersNamingPartOfTheSlotLandInTheirOwnSlots) {
  for (const PartlyNamed& c : kPartlyNamed) {
    SCOPED_TRACE(c.instrument);
    startSynth(kLateTwice, c.instrument);
    writeSettings(c.instrument, kDefaultDelayMs);
    openWindow();
    prompts_.messages.clear();
    view_.banks[0].selection = c.slots;
    const std::vector<Patch> before = window_->bank(0).slots;
    const Bytes bank1 = joined(window_->bank(1).slots);
    const auto started = std::chrono::steady_clock::now();
    window_->onCommand(CommandId::RequestSelected);
    ASSERT_TRUE(loop_.runUntil([&] { return !window_->request().requestActive; }, 200s));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    std::cout << c.instrument << ": fetched " << c.slots.size() << " slots in the window in "
              << took.count() << " s\n";
    EXPECT_EQ(view_.banks[0].status, "Request completed.");
    EXPECT_TRUE(prompts_.messages.empty()) << prompts_.messages.front();

    const std::vector<Patch>& after = window_->bank(0).slots;
    const auto size = static_cast<std::size_t>(window_->definition().PatchSize());
    Bytes fetched;
    for (const int slot : c.slots) {
      const Patch& patch = after[static_cast<std::size_t>(slot)];
      fetched.insert(fetched.end(), patch.bytes().begin(), patch.bytes().end());
    }
    EXPECT_EQ(slotsHeld(fetched, stopSynth(), size), listOf(c.slots, " "));
    std::vector<int> strays;
    for (int slot = 0; slot < static_cast<int>(after.size()); ++slot) {
      const auto i = static_cast<std::size_t>(slot);
      if (std::ranges::find(c.slots, slot) == c.slots.end() &&
          !std::ranges::equal(after[i].bytes(), before[i].bytes())) {
        strays.push_back(slot);
      }
    }
    EXPECT_EQ(listOf(strays, " "), "") << "slots that were not asked for were written";
    EXPECT_TRUE(joined(window_->bank(1).slots) == bank1);
  }
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
