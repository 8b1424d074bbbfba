// MidiPort over the JACK backend against a real server (dummy driver) that the tests start and
// stop themselves. A thru client stands in for the instrument between the ports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <unistd.h>

#include "midi/jack_backend.h"
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

  // Passes every event from kThruIn to kThruOut in the same cycle (a MIDI thru box), and counts
  // events that did not fit.
  static int thru(jack_nframes_t frames, void* self) {
    auto* test = static_cast<JackTest*>(self);
    void* in = jack_port_get_buffer(test->in_, frames);
    void* out = jack_port_get_buffer(test->out_, frames);
    takeOverJackBuffer(in);
    takeOverJackBuffer(out);
    jack_midi_clear_buffer(out);
    jack_midi_event_t event;
    for (jack_nframes_t i = 0; jack_midi_event_get(&event, in, i) == 0; ++i) {
      if (jack_midi_event_write(out, event.time, event.buffer, event.size) != 0) ++test->dropped_;
    }
    handOnJackBuffer(out);
    handOnJackBuffer(in);
    return 0;
  }

  MidiPort& makePort(const std::string& input, const std::string& output,
                     const JackBackendConfig& config = {}) {
    auto backend = makeJackBackend(config);
    EXPECT_TRUE(backend);
    MidiPort& port = *ports_.emplace_back(std::make_unique<MidiPort>(std::move(backend)));
    port.SetInputDeviceName(input);
    port.SetOutputDeviceName(output);
    return port;
  }

  void waitForThruConnections(bool connected) {
    for (int i = 0;
         i < 500 && (jack_port_connected(in_) > 0 && jack_port_connected(out_) > 0) != connected;
         ++i) {
      std::this_thread::sleep_for(10ms);
    }
  }

  // A port whose output comes back to its own input through the thru client.
  MidiPort& openLoop(const JackBackendConfig& config = {}) {
    MidiPort& port = makePort(kThruOut, kThruIn, config);
    EXPECT_TRUE(port.Open());
    waitForThruConnections(true);
    return port;
  }

  static inline std::unique_ptr<test::JackServer> server_;
  test::TestLog log_;
  jack_client_t* thru_ = nullptr;
  jack_port_t* in_ = nullptr;
  jack_port_t* out_ = nullptr;
  std::atomic<int> dropped_{0};
  std::vector<std::unique_ptr<MidiPort>> ports_;
};

// Full JACK names, the same for every client, are what the settings store. With no ALSA sequencer
// here, the system backend must have found the running server. A port's own ports are not devices.
TEST_F(JackTest, PortsAreListedByFullNamesAndAMissingNameLeavesThatSideClosed) {
  unsetenv("BANKLORE_MIDI_API");
  const bool alsa = access("/dev/snd/seq", F_OK) == 0;
  MidiPort system(alsa ? makeJackBackend() : makeSystemMidiBackend());
  MidiPort& loop = openLoop();  // registers its own "in" and "out"
  MidiPort& port = makePort("banklore-thru:OUT", "nowhere:in");
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(loop.inputDeviceNames(), std::vector<std::string>{kThruOut});
  EXPECT_EQ(loop.outputDeviceNames(), std::vector<std::string>{kThruIn});
  for (MidiPort* each : {&system, &port}) {
    EXPECT_THAT(each->inputDeviceNames(), Contains(kThruOut));
    EXPECT_THAT(each->outputDeviceNames(), Contains(kThruIn));
    EXPECT_EQ(each->inputDeviceNames().size(), 2u) << "the thru's and the loop's own output";
  }
  EXPECT_FALSE(port.isInputOpen() || port.isOutputOpen());
  loop.Close();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(jack_port_connected(in_) + jack_port_connected(out_), 0);
  EXPECT_EQ(log_.contents(),
            "MM_MIM_OPEN\nMM_MOM_OPEN\n"
            "Midi Assertion failure: Error MIDIERR_NODEVICE\n"
            "Midi Assertion failure: Error MIDIERR_NODEVICE\n"
            "MM_MIM_CLOSE\nMM_MOM_CLOSE\n");
}

// RtMidi's JACK output put every piece into one cycle's buffer, and JACK dropped what did not fit.
TEST_F(JackTest, SysExUpTo1MiBAndNoteOnArriveIntactAndOnce) {
  MidiPort& port = openLoop();
  test::Recorder recorder(port);
  const std::vector<Bytes> messages{test::sysEx(295),
                                    test::sysEx(70000),
                                    {0x94, 0x3C, 0x64},
                                    test::sysEx(kMaxMidiMessageBytes),
                                    test::sysEx(2)};
  for (std::size_t i = 0; i < messages.size(); ++i) {
    ASSERT_TRUE(port.SendSysEx(messages[i].data(), messages[i].size()));
    ASSERT_TRUE(recorder.waitFor(i + 1)) << messages[i].size() << " bytes did not arrive";
  }
  std::this_thread::sleep_for(50ms);  // room for a duplicate to show
  const auto seen = recorder.seen();
  EXPECT_TRUE(seen.data == messages) << "a message was changed, split or repeated";
  EXPECT_TRUE(seen.errors.empty());
  EXPECT_EQ(dropped_, 0);
}

TEST_F(JackTest, HundredMessagesOf70000BytesBackToBackArriveIntactAndInOrder) {
  MidiPort& port = openLoop();
  test::Recorder recorder(port);
  constexpr std::size_t kCount = 100, kSize = 70000;
  std::vector<Bytes> messages;
  for (std::size_t i = 0; i < kCount; ++i) {
    messages.push_back(test::sysEx(kSize));
    messages.back()[1] = static_cast<std::uint8_t>(i);  // tells a repeat from the next one
  }
  for (const Bytes& message : messages) {
    ASSERT_TRUE(port.SendSysEx(message.data(), message.size()));
  }
  ASSERT_TRUE(recorder.waitFor(kCount, 60s)) << recorder.seen().data.size() << " arrived";
  std::this_thread::sleep_for(50ms);
  const auto seen = recorder.seen();
  EXPECT_TRUE(seen.data == messages) << "a message was changed, split, repeated or reordered";
  EXPECT_TRUE(seen.errors.empty());
  EXPECT_EQ(dropped_, 0);
}

// Nothing may leave through a port whose connection is gone; the queue fills, and a send then
// fails after its wait, saying so, as does the close about what was never delivered.
TEST_F(JackTest, OutputThatCannotLeaveRefusesOnceItsQueueIsFullAndLogsWhatWasLost) {
  MidiPort& port = openLoop({.queueBytes = 64 * 1024, .sendTimeout = 200ms});
  test::Recorder recorder(port);
  ASSERT_EQ(jack_port_disconnect(thru_, in_), 0);
  waitForThruConnections(false);
  const Bytes message = test::sysEx(30000);
  ASSERT_TRUE(port.SendSysEx(message.data(), message.size()));
  ASSERT_TRUE(port.SendSysEx(message.data(), message.size()));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port.SendSysEx(message.data(), message.size()));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
  const Bytes tooLarge = test::sysEx(kMaxMidiMessageBytes + 1);
  EXPECT_FALSE(port.SendSysEx(tooLarge.data(), tooLarge.size()));
  port.Close();
  EXPECT_TRUE(recorder.seen().data.empty());
  const std::string log = log_.contents();
  EXPECT_THAT(log,
              HasSubstr("JACK output: a message of 30000 bytes is not sent, 60000 bytes still "
                        "queued after 200 ms\nMidi Assertion failure: Error MIDIERR_NOTREADY\n"));
  EXPECT_THAT(log, HasSubstr("JACK output: a message of 1048577 bytes is not sent (at most "
                             "1048576)\nMidi Assertion failure: Error MMSYSERR_INVALPARAM\n"));
  EXPECT_THAT(log, HasSubstr("JACK output: 60000 queued bytes were not delivered\n"
                             "Midi Assertion failure: Error MIDIERR_NOTREADY\nMM_MOM_CLOSE\n"));
}

// Queued output still leaves when the port closes right after the send.
TEST_F(JackTest, CloseDeliversWhatWasQueuedFirst) {
  MidiPort& receiver = makePort(kThruOut, "");
  test::Recorder recorder(receiver);
  ASSERT_TRUE(receiver.Open());
  MidiPort& sender = makePort("", kThruIn);
  ASSERT_TRUE(sender.Open());
  waitForThruConnections(true);
  const std::vector<Bytes> messages(20, test::sysEx(50000));
  for (const Bytes& message : messages) {
    ASSERT_TRUE(sender.SendSysEx(message.data(), message.size()));
  }
  sender.Close();
  ASSERT_TRUE(recorder.waitFor(messages.size(), 10s)) << recorder.seen().data.size() << " arrived";
  EXPECT_THAT(log_.contents(), Not(HasSubstr("not delivered")));
}

// The loopback's stress test, against the JACK backend's input thread.
TEST_F(JackTest, NoCallbackAfterCloseWhileJackInputStreams) {
  MidiPort& sender = makePort("", kThruIn);
  ASSERT_TRUE(sender.Open());
  test::reopenWhileStreaming(
      makePort(kThruOut, ""), 2000, 10ms, 5ms, 100us,
      [&](const Bytes& message) { sender.SendSysEx(message.data(), message.size()); });
}

TEST_F(JackTest, VirtualPortsTalkBothWaysAndStopOnClose) {
  test::talkThroughVirtualPorts([] { return makeJackBackend(); }, "banklore-virtual-test", 50ms);
  const std::string log = log_.contents();
  EXPECT_TRUE(
      log.starts_with("JACK: the client name \"banklore-virtual-test\" is taken\n"
                      "Midi Assertion failure: Error MMSYSERR_ALLOCATED\n"))
      << log.substr(0, 300);
}

// The RtMidi adapter (which carries ALSA) opens and closes without a failure line: RtMidi's
// warnings are not failures, and none is provoked.
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
