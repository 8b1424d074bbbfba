// A device's JACK ports that vanish and come back under an open MidiPort, and the server that
// goes away under it: what the port is told, what Reconnect does, and that nothing is queued for a
// port that is gone.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>

#include "midi/jack_backend.h"
#include "midi/midi_port.h"
#include "midi/rtmidi_backend.h"
#include "midi/support/port_probe.h"
#include "midi/tsan_annotations.h"
#include "support/jack_server.h"

namespace banklore {
namespace {

using namespace std::chrono_literals;
using Change = MidiPort::DeviceChange;
using Kind = MidiPort::DeviceChange::Kind;
using Direction = MidiPort::Direction;

class JackDevicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<test::JackServer>();
    if (!server_->running()) GTEST_SKIP() << "No JACK server: " << server_->whyNot();
    device_ =
        jack_client_open("device", JackOptions(JackNoStartServer | JackUseExactName), nullptr);
    ASSERT_NE(device_, nullptr);
    jack_set_process_callback(device_, &JackDevicesTest::process, this);
    ASSERT_EQ(jack_activate(device_), 0);
    plugIn();
    port_ = std::make_unique<MidiPort>(makeJackBackend());
    port_->SetDevicesCallback([this] { ++told_; });
    port_->SetInputDeviceName("device:out");
    port_->SetOutputDeviceName("device:in");
    ASSERT_TRUE(port_->Open());
    ASSERT_TRUE(port_->isInputOpen() && port_->isOutputOpen());
    std::this_thread::sleep_for(100ms);  // what opening registered has been told by now
  }
  void TearDown() override {
    port_.reset();
    if (device_ != nullptr) jack_client_close(device_);  // also one whose server has gone
    server_.reset();
  }

  // JACK's real-time thread: counts what reaches the device's input.
  static int process(jack_nframes_t frames, void* self) {
    auto* test = static_cast<JackDevicesTest*>(self);
    if (jack_port_t* in = test->in_.load()) {
      void* buffer = jack_port_get_buffer(in, frames);
      takeOverJackBuffer(buffer);
      test->received_ += static_cast<int>(jack_midi_get_event_count(buffer));
      handOnJackBuffer(buffer);
    }
    return 0;
  }

  void plugIn() {
    in_ = jack_port_register(device_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    out_ = jack_port_register(device_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    ASSERT_TRUE(in_ && out_);
  }
  void unplug() {
    jack_port_t* in = in_.exchange(nullptr);
    ASSERT_EQ(jack_port_unregister(device_, in), 0);
    ASSERT_EQ(jack_port_unregister(device_, out_), 0);
  }
  // Waits until the port was told of a change since `before`.
  bool toldSince(int before) {
    for (int i = 0; i < 1000 && told_ <= before; ++i) std::this_thread::sleep_for(2ms);
    return told_ > before;
  }
  // Unplugs the device and plugs it in again: the port loses both sides, is told each loss once,
  // and takes up the ports that come back, so that what it sends arrives again.
  void unplugAndPlugIn(const std::function<void()>& whileGone = [] {}) {
    const std::vector<Change> lost = {{Kind::Lost, Direction::In, "device:out"},
                                      {Kind::Lost, Direction::Out, "device:in"}};
    const int before = told_;
    unplug();
    ASSERT_TRUE(toldSince(before)) << "the port hears of the ports that went";
    whileGone();
    EXPECT_EQ(port_->Reconnect(), lost);
    EXPECT_TRUE(port_->Reconnect().empty()) << "a loss is told once";
    const int again = told_;
    plugIn();
    ASSERT_TRUE(toldSince(again)) << "the port hears of the ports that came";
    EXPECT_EQ(port_->Reconnect(),
              (std::vector<Change>{{Kind::Reconnected, Direction::In, "device:out"},
                                   {Kind::Reconnected, Direction::Out, "device:in"}}));
    EXPECT_TRUE(port_->isInputOpen() && port_->isOutputOpen());
    const int received = received_;
    EXPECT_TRUE(sends());
    for (int i = 0; i < 500 && received_ == received; ++i) std::this_thread::sleep_for(2ms);
    EXPECT_EQ(received_, received + 1) << "what is sent after the reconnection arrives";
  }
  bool sends() {
    const test::Bytes message = test::sysEx(8);
    return port_->SendSysEx(message.data(), message.size());
  }

  std::unique_ptr<test::JackServer> server_;
  jack_client_t* device_ = nullptr;
  std::atomic<jack_port_t*> in_{nullptr};
  std::atomic<int> received_{0};
  jack_port_t* out_ = nullptr;
  std::unique_ptr<MidiPort> port_;
  std::atomic<int> told_{0};
};

TEST_F(JackDevicesTest, PortsThatVanishAreClosedAndReconnectedWhenTheyAreBack) {
  test::TestLog log;
  EXPECT_TRUE(sends());
  unplugAndPlugIn([&] {
    EXPECT_FALSE(sends()) << "nothing is queued for a port that is gone, even before Reconnect";
    EXPECT_NE(
        log.contents().find("JACK output: device:in has gone, a message of 8 bytes is not sent"),
        std::string::npos);
  });
}

// Right after opening, before JACK shows the connections, nothing has changed; connections cut in
// a patchbay are made again in place (the device is still there: nothing to tell), and what is
// sent afterwards arrives.
TEST_F(JackDevicesTest, AFreshOpenIsNoChangeAndACutConnectionIsMadeAgain) {
  port_->Close();
  ASSERT_TRUE(port_->Open());
  EXPECT_TRUE(port_->Reconnect().empty()) << "the connections just made count as made";
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(port_->Reconnect().empty());
  const int received = received_;
  EXPECT_TRUE(sends());
  for (int i = 0; i < 500 && received_ == received; ++i) std::this_thread::sleep_for(2ms);
  EXPECT_EQ(received_, received + 1);

  const int told = told_;
  ASSERT_EQ(jack_disconnect(device_, "Banklore:out", "device:in"), 0);
  ASSERT_EQ(jack_disconnect(device_, "device:out", "Banklore:in"), 0);
  ASSERT_TRUE(toldSince(told)) << "a cut is a change the port hears of";
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(port_->Reconnect().empty());
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(jack_port_connected(jack_port_by_name(device_, "device:in")), 1);
  EXPECT_EQ(jack_port_connected(jack_port_by_name(device_, "device:out")), 1);
  const int before = received_;
  EXPECT_TRUE(sends());
  for (int i = 0; i < 500 && received_ == before; ++i) std::this_thread::sleep_for(2ms);
  EXPECT_EQ(received_, before + 1) << "what is sent after the cut arrives";
}

// RtMidi tells nothing of ports that come and go: its adapter polls the listing. The program uses
// it for ALSA; over JACK here, where the same adapter code runs.
TEST_F(JackDevicesTest, TheRtMidiAdapterNoticesByPollingAndReconnectsToo) {
  port_ = std::make_unique<MidiPort>(makeRtMidiBackend(RtMidiApi::Jack));
  port_->SetDevicesCallback([this] { ++told_; });
  port_->SetInputDeviceName("device:out");
  port_->SetOutputDeviceName("device:in");
  ASSERT_TRUE(port_->Open());
  std::this_thread::sleep_for(1500ms);  // the first poll lists what is there
  unplugAndPlugIn();
}

// The server going away is told once and nothing waits for it; once a server runs again, opening
// the port (as Setup does) joins the new one.
TEST_F(JackDevicesTest, AServerThatGoesAwayIsToldOnceAndANewOneIsJoinedOnOpen) {
  const int before = told_;
  server_->stop();
  ASSERT_TRUE(toldSince(before)) << "libjack's shutdown callback reaches the port";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(sends());
  EXPECT_EQ(
      port_->Reconnect(),
      (std::vector<Change>{{Kind::SystemGone, Direction::In, "the JACK server has gone away"}}));
  EXPECT_FALSE(port_->isInputOpen() || port_->isOutputOpen());
  EXPECT_TRUE(port_->Reconnect().empty()) << "told once";
  EXPECT_EQ(port_->systemProblem(), "the JACK server has gone away");
  port_->Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

  jack_client_close(std::exchange(device_, nullptr));
  server_.reset();  // first: it clears the default server's name on its way out
  server_ = std::make_unique<test::JackServer>();
  ASSERT_TRUE(server_->running()) << server_->whyNot();
  device_ = jack_client_open("device", JackOptions(JackNoStartServer | JackUseExactName), nullptr);
  ASSERT_NE(device_, nullptr);
  jack_set_process_callback(device_, &JackDevicesTest::process, this);
  ASSERT_EQ(jack_activate(device_), 0);
  plugIn();
  ASSERT_TRUE(port_->Open());
  EXPECT_TRUE(port_->systemProblem().empty());
  EXPECT_TRUE(port_->isInputOpen() && port_->isOutputOpen());
  EXPECT_TRUE(sends());
}

}  // namespace
}  // namespace banklore
