// MIDI devices that come and go under an open port (a synth unplugged and plugged in again, an
// instrument program restarted), the notifier that tells of it, and how the system's MIDI is
// chosen and waited for at start.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "midi/change_notifier.h"
#include "midi/loopback_backend.h"
#include "midi/midi_port.h"
#include "midi/support/port_probe.h"
#include "midi/system_backend.h"

namespace banklore {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using Change = MidiPort::DeviceChange;
using Kind = MidiPort::DeviceChange::Kind;
using Direction = MidiPort::Direction;

// Counts the calls of a handler and waits for them.
struct Calls {
  std::atomic<int> count{0};
  std::function<void()> handler() {
    return [this] { ++count; };
  }
  bool waitFor(int n, std::chrono::milliseconds timeout = 2s) const {
    for (auto end = std::chrono::steady_clock::now() + timeout; count < n;) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }
};

TEST(ChangeNotifierTest, WakesAreToldOnItsThreadAndStopWithTheHandler) {
  Calls calls;
  std::atomic<std::thread::id> caller;
  ChangeNotifier notifier;
  notifier.wake();  // before any handler: told to nobody
  notifier.setHandler([&] {
    caller = std::this_thread::get_id();
    ++calls.count;
  });
  notifier.wake();
  ASSERT_TRUE(calls.waitFor(1));
  EXPECT_NE(caller.load(), std::this_thread::get_id());
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(calls.count, 1) << "the wake before the handler was set is not told later";
  notifier.setHandler({});
  notifier.wake();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(calls.count, 1);
}

TEST(ChangeNotifierTest, PollingTellsOnlyWhenTheListingChanges) {
  std::mutex mutex;
  std::string listing = "Synth\n";
  Calls calls;
  ChangeNotifier notifier(
      [&] {
        std::lock_guard lock(mutex);
        return listing;
      },
      5ms);
  notifier.setHandler(calls.handler());
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(calls.count, 0) << "an unchanged listing is no change";
  {
    std::lock_guard lock(mutex);
    listing = "";
  }
  ASSERT_TRUE(calls.waitFor(1));
  std::this_thread::sleep_for(40ms);
  EXPECT_EQ(calls.count, 1) << "told once per change";
}

class DeviceChangesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loopback::reset();
    loopback::addPort("Synth");
    loopback::addPort("Other");
    port_ = std::make_unique<MidiPort>(makeLoopbackBackend());
    port_->SetDevicesCallback(told_.handler());
    recorder_ = std::make_unique<test::Recorder>(*port_);
    port_->SetInputDeviceName("Synth");
    port_->SetOutputDeviceName("Synth");
  }
  void TearDown() override {
    recorder_.reset();
    port_.reset();
    loopback::reset();
  }

  // The port hears input and reaches the output of "Synth".
  bool talks() {
    const std::size_t before = recorder_->seen().data.size();
    const Bytes message = test::sysEx(8);
    loopback::clearSentMessages("Synth");
    return loopback::inject("Synth", message) && recorder_->waitFor(before + 1, 1s) &&
           port_->SendSysEx(message.data(), message.size()) &&
           loopback::sentMessages("Synth") == std::vector<Bytes>{message};
  }

  test::TestLog log_;
  Calls told_;
  std::unique_ptr<MidiPort> port_;
  std::unique_ptr<test::Recorder> recorder_;
};

TEST_F(DeviceChangesTest, AnUnpluggedDeviceIsClosedAndReconnectedByNameWhenItIsBack) {
  ASSERT_TRUE(port_->Open());
  ASSERT_TRUE(talks());
  EXPECT_TRUE(port_->Reconnect().empty()) << "nothing changed";

  EXPECT_EQ(loopback::unplug("Synth"), 1u);
  ASSERT_TRUE(told_.waitFor(1)) << "the backend tells that ports changed";
  EXPECT_EQ(port_->Reconnect(), (std::vector<Change>{{Kind::Lost, Direction::In, "Synth"},
                                                     {Kind::Lost, Direction::Out, "Synth"}}));
  EXPECT_FALSE(port_->isInputOpen() || port_->isOutputOpen());
  const Bytes message = test::sysEx(8);
  EXPECT_FALSE(port_->SendSysEx(message.data(), message.size()));
  EXPECT_TRUE(port_->Reconnect().empty()) << "a loss is told once";

  loopback::plugIn("Other");  // another device coming changes nothing of ours
  ASSERT_TRUE(told_.waitFor(2));
  EXPECT_TRUE(port_->Reconnect().empty());

  loopback::plugIn("Synth");
  ASSERT_TRUE(told_.waitFor(3));
  EXPECT_EQ(port_->Reconnect(),
            (std::vector<Change>{{Kind::Reconnected, Direction::In, "Synth"},
                                 {Kind::Reconnected, Direction::Out, "Synth"}}));
  EXPECT_TRUE(talks());
  EXPECT_EQ(loopback::openInputCount("Other"), 0u);
}

// An instrument program restarted before anyone looked: the ports of that name are new ones, so
// the port is joined to them again rather than left on the old.
TEST_F(DeviceChangesTest, ADeviceGoneAndBackBetweenTwoLooksIsReconnectedNotLost) {
  ASSERT_TRUE(port_->Open());
  loopback::unplug("Synth");
  loopback::plugIn("Synth");
  EXPECT_EQ(port_->Reconnect(),
            (std::vector<Change>{{Kind::Reconnected, Direction::In, "Synth"},
                                 {Kind::Reconnected, Direction::Out, "Synth"}}));
  EXPECT_TRUE(talks());
}

TEST_F(DeviceChangesTest, ANamedDeviceMissingAtOpenIsConnectedWhenItComes) {
  loopback::unplug("Synth");
  EXPECT_TRUE(port_->Open()) << "other devices exist";
  EXPECT_FALSE(port_->isInputOpen());
  EXPECT_TRUE(port_->Reconnect().empty());
  loopback::plugIn("Synth", LoopbackDirection::InputOnly);
  EXPECT_EQ(port_->Reconnect(), (std::vector<Change>{{Kind::Connected, Direction::In, "Synth"}}));
  EXPECT_TRUE(port_->isInputOpen());
  EXPECT_FALSE(port_->isOutputOpen());
}

TEST_F(DeviceChangesTest, AClosedPortReconnectsNothing) {
  ASSERT_TRUE(port_->Open());
  port_->Close();
  loopback::unplug("Synth");
  loopback::plugIn("Synth");
  EXPECT_TRUE(port_->Reconnect().empty());
  EXPECT_FALSE(port_->isOpen() || port_->isInputOpen() || port_->isOutputOpen());
  // Nor one whose Open failed for want of any device, and that was closed since.
  loopback::reset();
  EXPECT_FALSE(port_->Open());
  port_->Close();
  loopback::plugIn("Synth");
  EXPECT_TRUE(port_->Reconnect().empty());
}

TEST(MidiSystemTest, AlsaWinsWhenBothAreThereAndAnOverrideTakesOnlyItsOwn) {
  using enum MidiSystem;
  struct Case {
    const char* override;
    bool alsa, jack;
    MidiSystem chosen;
  };
  // clang-format off
  const Case cases[] = {
      {nullptr, true, true, Alsa},    {nullptr, true, false, Alsa}, {nullptr, false, true, Jack},
      {nullptr, false, false, None},  {"", true, true, Alsa},       {"pipewire", false, true, Jack},
      {"alsa", true, true, Alsa},     {"alsa", false, true, None},  {"jack", true, true, Jack},
      {"jack", true, false, None},    {"loopback", false, false, Loopback}};
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(chooseMidiSystem(c.override, c.alsa, c.jack), c.chosen)
        << (c.override ? c.override : "(none)") << " alsa " << c.alsa << " jack " << c.jack;
  }
}

// A JACK library that hangs while joining the server: start-up goes on without MIDI once the
// deadline has passed, and says why.
TEST(MidiSystemTest, AJackProbeThatNeverReturnsGivesNoMidiAfterTheDeadline) {
  test::TestLog log;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> probeEnded{false};
  MidiSystemProbes probes;
  probes.alsaUsable = [] { return false; };
  probes.openJack = [released, &probeEnded]() -> std::unique_ptr<MidiBackend> {
    released.wait();  // as libjack stuck on a lock
    auto backend = makeLoopbackBackend();
    probeEnded = true;
    return backend;  // too late: dropped on this thread
  };
  probes.jackDeadline = 150ms;
  const auto started = std::chrono::steady_clock::now();
  MidiPort port(openSystemMidi(nullptr, probes));
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, 150ms);
  EXPECT_LT(waited, 1s);
  EXPECT_TRUE(port.systemProblem().starts_with("the JACK library did not answer within 0.15 s"))
      << port.systemProblem();
  EXPECT_TRUE(port.inputDeviceNames().empty());
  EXPECT_TRUE(log.contents().starts_with("No MIDI: the JACK library did not answer within 0.15 s"))
      << log.contents();
  release.set_value();  // the stuck thread ends by itself; nothing waits for it
  for (int i = 0; i < 500 && !probeEnded; ++i) std::this_thread::sleep_for(2ms);
  EXPECT_TRUE(probeEnded);

  // One that answers in time is taken, whatever it found.
  probes.openJack = [] { return makeLoopbackBackend(); };
  EXPECT_TRUE(MidiPort(openSystemMidi(nullptr, probes)).systemProblem().empty());
  probes.openJack = [] { return std::unique_ptr<MidiBackend>(); };  // no server
  EXPECT_EQ(MidiPort(openSystemMidi(nullptr, probes)).systemProblem(),
            "neither an ALSA sequencer nor a JACK server was found");
  EXPECT_EQ(MidiPort(openSystemMidi("jack", probes)).systemProblem(),
            "BANKLORE_MIDI_API=jack, but no JACK server runs");
}

TEST(MidiSystemTest, ALaterBackendTakesOverThePortWithItsNamesAndCallbacks) {
  loopback::reset();
  loopback::addPort("Synth");
  MidiPort port(makeUnavailableMidiBackend("nothing here"));
  test::Recorder recorder(port);
  port.SetInputDeviceName("Synth");
  port.SetOutputDeviceName("Synth");
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.systemProblem(), "nothing here");
  port.ReplaceBackend(nullptr);
  EXPECT_EQ(port.systemProblem(), "nothing here") << "nothing to take over with";
  port.ReplaceBackend(makeLoopbackBackend());
  EXPECT_TRUE(port.systemProblem().empty());
  ASSERT_TRUE(port.Open());
  ASSERT_TRUE(loopback::inject("Synth", {0xF0, 0x01, 0xF7}));
  EXPECT_TRUE(recorder.waitFor(1));
  loopback::reset();
}

}  // namespace
}  // namespace banklore
