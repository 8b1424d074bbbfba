// What every MIDI backend owes MidiPort, checked once and run on the in-process loopback and on a
// JACK server of the test's own (dummy driver). Each system has a device "synth" that plays back
// whatever reaches it, as a MIDI thru box would, and that can be unplugged and plugged in again.
// What only JACK has (its server going away, connections, its output queue, RtMidi over it)
// follows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <unistd.h>

#include "midi/jack_backend.h"
#include "midi/loopback_backend.h"
#include "midi/rtmidi_backend.h"
#include "midi/support/port_probe.h"
#include "midi/system_backend.h"
#include "midi/tsan_annotations.h"
#include "support/jack_server.h"

namespace banklore {
namespace {

using test::Bytes;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;
using Change = MidiPort::DeviceChange;
using enum MidiPort::DeviceChange::Kind;
using enum MidiPort::Direction;

struct LoopbackSystem {
  const std::string in = "Synth", out = "Synth";  // what a port opens as its input / output
  static void startServer() {}
  static void stopServer() {}
  static std::string whyNot() { return ""; }
  static std::unique_ptr<MidiBackend> make() { return makeLoopbackBackend(); }
  void setUp() {
    loopback::reset();
    plugIn();
  }
  void tearDown() { loopback::reset(); }
  void plugIn() { loopback::plugIn("Synth"); }
  void unplug() { loopback::unplug("Synth"); }
  bool joined(const std::string&) { return true; }
};

class JackSystem {
 public:
  const std::string in = "synth:out", out = "synth:in";
  static void startServer() { server = std::make_unique<test::JackServer>(); }
  static void stopServer() { server.reset(); }
  static std::string whyNot() { return server->running() ? "" : server->whyNot(); }
  static std::unique_ptr<MidiBackend> make() { return makeJackBackend(); }
  void setUp() {
    client = jack_client_open("synth", JackOptions(JackNoStartServer | JackUseExactName), nullptr);
    ASSERT_NE(client, nullptr);
    ASSERT_EQ(jack_set_process_callback(client, &JackSystem::thru, this), 0);
    ASSERT_EQ(jack_activate(client), 0);
    plugIn();
  }
  void tearDown() {
    if (client != nullptr) jack_client_close(std::exchange(client, nullptr));
  }
  void plugIn() {
    out_ = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    in_ = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  }
  void unplug() {
    ASSERT_EQ(jack_port_unregister(client, in_.exchange(nullptr)), 0);
    ASSERT_EQ(jack_port_unregister(client, out_.exchange(nullptr)), 0);
  }
  // Whether the JACK port of that full name is connected to anything.
  bool joined(const std::string& name) {
    jack_port_t* port = jack_port_by_name(client, name.c_str());
    return port != nullptr && jack_port_connected(port) > 0;
  }

  static inline std::unique_ptr<test::JackServer> server;
  jack_client_t* client = nullptr;

 private:
  // JACK's real-time thread: passes every event from "in" to "out" in the same cycle.
  static int thru(jack_nframes_t frames, void* self) {
    auto* system = static_cast<JackSystem*>(self);
    jack_port_t* inPort = system->in_.load();
    jack_port_t* outPort = system->out_.load();
    if (inPort == nullptr || outPort == nullptr) return 0;
    void* in = jack_port_get_buffer(inPort, frames);
    void* out = jack_port_get_buffer(outPort, frames);
    takeOverJackBuffer(in);
    takeOverJackBuffer(out);
    jack_midi_clear_buffer(out);
    jack_midi_event_t event;
    for (jack_nframes_t i = 0; jack_midi_event_get(&event, in, i) == 0; ++i) {
      EXPECT_EQ(jack_midi_event_write(out, event.time, event.buffer, event.size), 0);
    }
    handOnJackBuffer(out);
    handOnJackBuffer(in);
    return 0;
  }

  std::atomic<jack_port_t*> in_{nullptr}, out_{nullptr};
};

template <class System>
class MidiContract : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { System::startServer(); }
  static void TearDownTestSuite() { System::stopServer(); }
  void SetUp() override {
    if (const std::string why = System::whyNot(); !why.empty()) GTEST_SKIP() << why;
    system_.setUp();
    port_ = makePort(system_.in, system_.out);
    port_->SetDevicesCallback([this] { ++told_; });
    recorder_ = std::make_unique<test::Recorder>(*port_);
  }
  void TearDown() override {
    recorder_.reset();
    port_.reset();
    system_.tearDown();
  }

  static std::unique_ptr<MidiPort> makePort(const std::string& in, const std::string& out,
                                            std::unique_ptr<MidiBackend> backend = System::make()) {
    auto port = std::make_unique<MidiPort>(std::move(backend));
    port->SetInputDeviceName(in);
    port->SetOutputDeviceName(out);
    return port;
  }
  // Waits until the device's ports are joined to the port's, so that what is sent comes back.
  bool joined() {
    return test::waitUntil(
        [&] { return system_.joined(system_.in) && system_.joined(system_.out); });
  }
  bool send(MidiPort& port, const Bytes& message) {
    return port.SendSysEx(message.data(), message.size());
  }
  // What is sent reaches the device and comes back.
  bool talks() {
    const std::size_t before = recorder_->seen().data.size();
    return joined() && send(*port_, test::sysEx(8)) && recorder_->waitFor(before + 1);
  }
  std::vector<Change> changesAfter(const std::function<void()>& action) {
    const int before = told_;
    action();
    EXPECT_TRUE(test::waitUntil([&] { return told_ > before; })) << "the port was not told";
    return port_->Reconnect();
  }

  System system_;
  test::TestLog log_;
  std::atomic<int> told_{0};
  std::unique_ptr<MidiPort> port_;
  std::unique_ptr<test::Recorder> recorder_;
};

// MidiContract/0 runs on the loopback, MidiContract/1 on JACK.
using Systems = ::testing::Types<LoopbackSystem, JackSystem>;
TYPED_TEST_SUITE(MidiContract, Systems);

// Each message arrives whole in one call, once and in order, from the owner's copy: the sender
// overwrites its buffer at once. The last one marks the end, so a repeat would show before it.
TYPED_TEST(MidiContract, MessagesOfEverySizeUpToTheLargestArriveIntactOnceAndInOrder) {
  MidiPort& port = *this->port_;
  ASSERT_TRUE(port.Open());
  ASSERT_TRUE(this->joined());
  // clang-format off
  const std::vector<Bytes> messages{
      test::sysEx(295), {0x94, 0x3C, 0x64}, {0xC3, 0x05}, {0xBF, 0x07, 0x7F}, test::sysEx(70000),
      {0xFE}, test::sysEx(kMaxMidiMessageBytes), {0xD0, 0x40}, test::sysEx(2), test::sysEx(3)};
  // clang-format on
  for (const Bytes& message : messages) {
    Bytes buffer = message;
    ASSERT_TRUE(this->send(port, buffer));
    std::ranges::fill(buffer, 0x55);
  }
  ASSERT_TRUE(this->recorder_->waitFor(messages.size()));
  const auto seen = this->recorder_->seen();
  EXPECT_TRUE(seen.data == messages) << "a message was changed, split, repeated or reordered";
  EXPECT_TRUE(seen.errors.empty() && seen.notices.empty());
}

// Ports are listed and opened by name. A device unplugged is told of, closed and reconnected by
// name when it is back; one missing when the port opened is connected when it comes; a closed port
// reconnects nothing.
TYPED_TEST(MidiContract, PortsOpenByNameAndFollowDeviceChanges) {
  MidiPort& port = *this->port_;
  const std::string& in = this->system_.in;
  const std::string& out = this->system_.out;
  EXPECT_FALSE(this->send(port, test::sysEx(8))) << "never opened";
  ASSERT_TRUE(port.Open());
  EXPECT_FALSE(port.Open()) << "already open";
  EXPECT_EQ(port.inputDeviceNames(), std::vector{in}) << "its own are no devices";
  EXPECT_EQ(port.outputDeviceNames(), std::vector{out});
  EXPECT_EQ(this->log_.contents(), "MM_MIM_OPEN\nMM_MOM_OPEN\n");
  EXPECT_TRUE(port.Reconnect().empty()) << "the connections just made count as made";
  ASSERT_TRUE(this->talks());

  EXPECT_EQ(this->changesAfter([&] { this->system_.unplug(); }),
            (std::vector<Change>{{Lost, In, in}, {Lost, Out, out}}));
  EXPECT_FALSE(port.isInputOpen() || port.isOutputOpen());
  EXPECT_FALSE(this->send(port, test::sysEx(8))) << "nothing is queued for a device that is gone";
  EXPECT_TRUE(port.Reconnect().empty()) << "a loss is told once";
  EXPECT_EQ(this->changesAfter([&] { this->system_.plugIn(); }),
            (std::vector<Change>{{Reconnected, In, in}, {Reconnected, Out, out}}));
  EXPECT_TRUE(this->talks());

  port.Close();
  this->system_.unplug();
  port.Open();  // fails for want of any device, yet watches for the named one
  EXPECT_FALSE(port.isInputOpen() || port.isOutputOpen());
  EXPECT_TRUE(port.Reconnect().empty());
  EXPECT_EQ(this->changesAfter([&] { this->system_.plugIn(); }),
            (std::vector<Change>{{Connected, In, in}, {Connected, Out, out}}));
  EXPECT_TRUE(this->talks());

  port.Close();
  port.Close();
  this->system_.unplug();
  this->system_.plugIn();
  EXPECT_TRUE(port.Reconnect().empty());
  EXPECT_FALSE(port.isOpen() || port.isInputOpen() || port.isOutputOpen());
  EXPECT_FALSE(this->send(port, test::sysEx(8)));
}

// Input streams in from another port while this one opens and closes over and over: whatever is
// delivered is whole, and no callback comes or is still running once Close has returned.
TYPED_TEST(MidiContract, NoCallbackAfterCloseWhileInputStreams) {
  auto sender = this->makePort("", this->system_.out);
  ASSERT_TRUE(sender->Open());
  test::Recorder& recorder = *this->recorder_;
  const Bytes whole = test::sysEx(295);
  std::atomic<bool> done{false};
  std::thread player([&] {
    for (int i = 0; i < 2000; ++i) {
      this->send(*sender, {0x90, static_cast<std::uint8_t>(i % 0x80), 0x40});
      if (i % 20 == 0 && this->send(*sender, whole)) std::this_thread::sleep_for(2ms);
    }
    done = true;
  });
  for (int cycle = 0; !done; ++cycle) {
    recorder.closed = false;
    EXPECT_TRUE(this->port_->Open());
    std::this_thread::sleep_for(5ms * (1 + cycle % 4));
    this->port_->Close();
    recorder.closed = true;
  }
  player.join();
  const auto seen = recorder.seen();
  EXPECT_EQ(recorder.late, 0);
  EXPECT_TRUE(seen.errors.empty());
  EXPECT_GT(std::ranges::count(seen.data, whole), 0);
  for (const Bytes& message : seen.data) EXPECT_TRUE(message == whole || message.size() == 3);
}

// The owner of virtual ports "<name>:in" and "<name>:out" and a port opened on them talk both
// ways; the name cannot be taken twice; closeVirtual, with input streaming in, stops every handler
// call, and the ports and the name are free again.
TYPED_TEST(MidiContract, VirtualPortsTalkBothWaysAndStopOnClose) {
  const std::string name = "banklore-virtual";
  test::Recorder owned;
  auto owner = TypeParam::make();
  ASSERT_TRUE(owner->openVirtual(name, owned.onMessage(), {}));
  EXPECT_FALSE(TypeParam::make()->openVirtual(name, {}, {})) << "the name is taken";
  EXPECT_THAT(this->log_.contents(),
              HasSubstr("is taken\nMidi Assertion failure: Error MMSYSERR_ALLOCATED\n"));
  MidiPort* port = this->port_.get();
  port->SetInputDeviceName(name + ":out");
  port->SetOutputDeviceName(name + ":in");
  test::Recorder& recorder = *this->recorder_;
  ASSERT_TRUE(port->Open());
  ASSERT_TRUE(port->isInputOpen() && port->isOutputOpen());
  ASSERT_TRUE(test::waitUntil(
      [&] { return this->system_.joined(name + ":in") && this->system_.joined(name + ":out"); }));
  const std::vector<Bytes> requests{test::sysEx(8), test::sysEx(70000), {0x90, 0x3C, 0x40}};
  for (const Bytes& request : requests) ASSERT_TRUE(this->send(*port, request));
  ASSERT_TRUE(owned.waitFor(requests.size()));
  EXPECT_TRUE(owned.seen().data == requests);
  const std::vector<Bytes> replies{test::sysEx(300), test::sysEx(40000)};
  for (const Bytes& reply : replies) ASSERT_TRUE(owner->send(reply));
  ASSERT_TRUE(recorder.waitFor(replies.size()));
  EXPECT_TRUE(recorder.seen().data == replies);

  // Closed while input streams in; what is sent afterwards reaches nobody.
  for (int i = 0; i < 100; ++i) this->send(*port, test::sysEx(20));
  ASSERT_TRUE(owned.waitFor(requests.size() + 1));
  owner->closeVirtual();
  owned.closed = true;
  for (int i = 0; i < 100; ++i) this->send(*port, test::sysEx(20));
  EXPECT_EQ(owned.late, 0) << "a handler ran after closeVirtual returned";
  EXPECT_FALSE(owner->send(replies[0]));
  EXPECT_THAT(port->outputDeviceNames(), Not(Contains(name + ":in")));
  EXPECT_TRUE(TypeParam::make()->openVirtual(name, {}, {})) << "the name is free again";
}

using JackTest = MidiContract<JackSystem>;

// The server going away is told once and nothing waits for it; once a server runs again, opening
// the port joins the new one.
TEST_F(JackTest, AServerThatGoesAwayIsToldOnceAndANewOneIsJoinedOnOpen) {
  ASSERT_TRUE(port_->Open());
  EXPECT_EQ(changesAfter([] { JackSystem::server->stop(); }),
            (std::vector<Change>{{SystemGone, In, "the JACK server has gone away"}}));
  EXPECT_FALSE(send(*port_, test::sysEx(8)));
  EXPECT_FALSE(port_->isInputOpen() || port_->isOutputOpen());
  EXPECT_TRUE(port_->Reconnect().empty()) << "told once";
  EXPECT_EQ(port_->systemProblem(), "the JACK server has gone away");
  port_->Close();

  system_.tearDown();
  JackSystem::stopServer();  // first: it clears the default server's name on its way out
  JackSystem::startServer();
  ASSERT_EQ(JackSystem::whyNot(), "");
  system_.setUp();
  ASSERT_TRUE(port_->Open());
  EXPECT_TRUE(port_->systemProblem().empty());
  EXPECT_TRUE(talks());
}

// Connections cut in a patchbay are made again in place: the device is still there, so nothing is
// told as lost. With no ALSA sequencer here, the system's MIDI is the running server.
TEST_F(JackTest, ACutConnectionIsMadeAgainInPlace) {
  ASSERT_TRUE(port_->Open());
  ASSERT_TRUE(joined());
  const auto cut = [&] {
    for (const char* name : {"synth:in", "synth:out"})
      jack_port_disconnect(system_.client, jack_port_by_name(system_.client, name));
  };
  EXPECT_TRUE(changesAfter(cut).empty()) << "a cut is a change to look at, yet nothing to tell";
  EXPECT_TRUE(talks());
  if (access("/dev/snd/seq", F_OK) == 0) return;
  unsetenv("BANKLORE_MIDI_API");
  EXPECT_THAT(MidiPort(makeSystemMidiBackend()).inputDeviceNames(), Contains(system_.in));
}

// Output leaves through a queue of its own size, a send waiting for room, and what is queued still
// leaves when the port closes. Through a connection that is gone nothing leaves: once the queue is
// full a send fails after its wait, saying so, as does the close about what was never delivered.
TEST_F(JackTest, QueuedOutputLeavesBeforeCloseOrIsToldLost) {
  ASSERT_TRUE(port_->Open());
  auto sender = makePort("", system_.out, makeJackBackend({.queueBytes = 64 << 10}));
  ASSERT_TRUE(sender->Open());
  ASSERT_TRUE(joined());
  const Bytes message = test::sysEx(30000);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(send(*sender, message));
  sender->Close();
  ASSERT_TRUE(recorder_->waitFor(5));

  sender =
      makePort("", system_.out, makeJackBackend({.queueBytes = 64 << 10, .sendTimeout = 200ms}));
  ASSERT_TRUE(sender->Open());
  ASSERT_EQ(jack_port_disconnect(system_.client, jack_port_by_name(system_.client, "synth:in")), 0);
  ASSERT_TRUE(test::waitUntil([&] { return !system_.joined(system_.out); }));
  ASSERT_TRUE(send(*sender, message));
  ASSERT_TRUE(send(*sender, message));
  EXPECT_FALSE(send(*sender, message));
  EXPECT_FALSE(send(*sender, test::sysEx(kMaxMidiMessageBytes + 1)));
  sender->Close();
  const std::string log = log_.contents();
  EXPECT_THAT(log,
              HasSubstr("JACK output: a message of 30000 bytes is not sent, 60000 bytes still "
                        "queued after 200 ms\nMidi Assertion failure: Error MIDIERR_NOTREADY\n"));
  EXPECT_THAT(log, HasSubstr("JACK output: a message of 1048577 bytes is not sent (at most "
                             "1048576)\nMidi Assertion failure: Error MMSYSERR_INVALPARAM\n"));
  EXPECT_THAT(log, HasSubstr("JACK output: 60000 queued bytes were not delivered\n"));
}

// The RtMidi adapter carries ALSA; over JACK here, where the same adapter code runs. It notices
// ports that come and go by polling their listing, and logs no failure where there is none.
TEST_F(JackTest, TheRtMidiAdapterIsQuietAndNoticesByPolling) {
  recorder_.reset();
  port_ = makePort(system_.in, system_.out, makeRtMidiBackend(RtMidiApi::Jack));
  port_->SetDevicesCallback([this] { ++told_; });
  ASSERT_TRUE(port_->Open());
  EXPECT_EQ(changesAfter([&] { system_.unplug(); }),
            (std::vector<Change>{{Lost, In, system_.in}, {Lost, Out, system_.out}}));
  EXPECT_EQ(changesAfter([&] { system_.plugIn(); }),
            (std::vector<Change>{{Reconnected, In, system_.in}, {Reconnected, Out, system_.out}}));
  port_->Close();
  EXPECT_THAT(log_.contents(), Not(HasSubstr("failure"))) << "RtMidi's warnings are no failures";
}

}  // namespace
}  // namespace banklore
