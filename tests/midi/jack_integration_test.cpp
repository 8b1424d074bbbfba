// MidiPort over RtMidi's JACK API against a real server (dummy driver) that the tests start and
// stop themselves. A thru client stands in for the instrument between the ports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <unistd.h>

#include "midi/rtmidi_backend.h"
#include "midi/support/port_probe.h"
#include "midi/system_backend.h"
#include "support/jack_server.h"

namespace banklore {
namespace {

using test::Bytes;
using ::testing::Contains;
using namespace std::chrono_literals;

constexpr const char* kThruIn = "banklore-thru:in";
constexpr const char* kThruOut = "banklore-thru:out";

class JackTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<test::JackServer>(); }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    if (!server_->running()) {
      GTEST_SKIP() << "No JACK server for the integration tests: " << server_->whyNot();
    }
    thru_ = jack_client_open("banklore-thru", JackOptions(JackNoStartServer | JackUseExactName),
                             nullptr);
    ASSERT_NE(thru_, nullptr) << "thru client could not join the JACK server";
    in_ = jack_port_register(thru_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    out_ = jack_port_register(thru_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    ASSERT_TRUE(in_ && out_ && jack_set_process_callback(thru_, &JackTest::thru, this) == 0);
    ASSERT_EQ(jack_activate(thru_), 0);
  }
  void TearDown() override {
    ports_.clear();  // before the thru client they are connected to
    if (thru_ != nullptr) jack_client_close(thru_);
  }

  // Passes every event from kThruIn to kThruOut in the same cycle (a MIDI thru box).
  static int thru(jack_nframes_t frames, void* self) {
    auto* test = static_cast<JackTest*>(self);
    void* in = jack_port_get_buffer(test->in_, frames);
    void* out = jack_port_get_buffer(test->out_, frames);
    jack_midi_clear_buffer(out);
    jack_midi_event_t event;
    for (jack_nframes_t i = 0; jack_midi_event_get(&event, in, i) == 0; ++i) {
      jack_midi_event_write(out, event.time, event.buffer, event.size);
    }
    return 0;
  }

  MidiPort& makePort(const std::string& input, const std::string& output) {
    auto backend = makeRtMidiBackend(RtMidiApi::Jack);
    EXPECT_TRUE(backend);
    MidiPort& port = *ports_.emplace_back(std::make_unique<MidiPort>(std::move(backend)));
    port.SetInputDeviceName(input);
    port.SetOutputDeviceName(output);
    return port;
  }

  // A port whose output comes back to its own input through the thru client.
  MidiPort& openLoop() {
    MidiPort& port = makePort(kThruOut, kThruIn);
    EXPECT_TRUE(port.Open());
    for (int i = 0; i < 500 && !(jack_port_connected(in_) && jack_port_connected(out_)); ++i) {
      std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(20ms);  // a connection takes effect with the next cycle
    return port;
  }

  static inline std::unique_ptr<test::JackServer> server_;
  test::TestLog log_;
  jack_client_t* thru_ = nullptr;
  jack_port_t* in_ = nullptr;
  jack_port_t* out_ = nullptr;
  std::vector<std::unique_ptr<MidiPort>> ports_;
};

// Full JACK names, the same for every client, are what the settings store. With no ALSA sequencer
// here, the system backend must have found the running server.
TEST_F(JackTest, PortsAreListedByFullNamesAndAMissingNameLeavesThatSideClosed) {
  unsetenv("BANKLORE_MIDI_API");
  const bool alsa = access("/dev/snd/seq", F_OK) == 0;
  MidiPort system(alsa ? makeRtMidiBackend(RtMidiApi::Jack) : makeSystemMidiBackend());
  MidiPort& port = makePort("banklore-thru:OUT", "nowhere:in");
  for (MidiPort* each : {&system, &port}) {
    EXPECT_THAT(each->inputDeviceNames(), Contains(kThruOut));
    EXPECT_THAT(each->outputDeviceNames(), Contains(kThruIn));
  }
  ASSERT_TRUE(port.Open());
  EXPECT_FALSE(port.isInputOpen() || port.isOutputOpen());
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(jack_port_connected(in_) + jack_port_connected(out_), 0);
  EXPECT_EQ(log_.contents(),
            "Midi Assertion failure: Error MIDIERR_NODEVICE\n"
            "Midi Assertion failure: Error MIDIERR_NODEVICE\n");
}

TEST_F(JackTest, SysExAndNoteOnArriveIntactAndOnce) {
  MidiPort& port = openLoop();
  test::Recorder recorder(port);
  // 70,000 bytes is far above what RtMidi's JACK output carries in one message.
  const std::vector<Bytes> messages{test::sysEx(295), test::sysEx(70000), {0x94, 0x3C, 0x64}};
  for (std::size_t i = 0; i < messages.size(); ++i) {
    ASSERT_TRUE(port.SendSysEx(messages[i].data(), messages[i].size()));
    ASSERT_TRUE(recorder.waitFor(i + 1)) << messages[i].size() << " bytes did not arrive";
  }
  std::this_thread::sleep_for(50ms);  // room for a duplicate to show
  const auto seen = recorder.seen();
  EXPECT_TRUE(seen.data == messages) << "a message was changed, split or repeated";
  EXPECT_TRUE(seen.errors.empty());
}

// Reports the round trip port -> thru -> same port of a 295-byte SysEx.
TEST_F(JackTest, RoundTripLatencyOf295ByteSysEx) {
  MidiPort& port = openLoop();
  test::Recorder recorder(port);
  constexpr std::size_t kRounds = 200;
  const Bytes message = test::sysEx(295);
  std::vector<double> millis;
  for (std::size_t round = 1; round <= kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(port.SendSysEx(message.data(), message.size()));
    ASSERT_TRUE(recorder.waitFor(round, 2s)) << "round " << round;
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    millis.push_back(took.count());
  }
  EXPECT_TRUE(recorder.seen().data == std::vector<Bytes>(kRounds, message));
  std::sort(millis.begin(), millis.end());
  std::cout << "JACK round trip, 295-byte SysEx, 48 kHz / 256 frames: median "
            << millis[kRounds / 2] << " ms, p95 " << millis[kRounds * 95 / 100] << " ms over "
            << kRounds << " rounds\n";
}

// The loopback's stress test, against RtMidi's JACK thread.
TEST_F(JackTest, NoCallbackAfterCloseWhileJackInputStreams) {
  MidiPort& sender = makePort("", kThruIn);
  ASSERT_TRUE(sender.Open());
  test::reopenWhileStreaming(
      makePort(kThruOut, ""), 2000, 10ms, 5ms, 100us,
      [&](const Bytes& message) { sender.SendSysEx(message.data(), message.size()); });
}

// Opening and closing logs no failure line: RtMidi's warnings are not failures, and none is
// provoked.
TEST_F(JackTest, RtMidiAdapterOpensAndClosesWithoutFailureLines) {
  MidiPort port(makeRtMidiBackend(RtMidiApi::Jack));
  port.SetInputDeviceName(kThruOut);
  port.SetOutputDeviceName(kThruIn);
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(port.Open());
    port.Close();
  }
  EXPECT_EQ(log_.contents(),
            "MM_MIM_OPEN\nMM_MOM_OPEN\nMM_MIM_CLOSE\nMM_MOM_CLOSE\n"
            "MM_MIM_OPEN\nMM_MOM_OPEN\nMM_MIM_CLOSE\nMM_MOM_CLOSE\n");
}

}  // namespace
}  // namespace banklore
