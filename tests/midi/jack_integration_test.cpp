// MidiPort over RtMidi's JACK API against a real server (dummy driver) that the test starts and
// stops itself. A thru client stands in for the instrument between two ports.
#include <RtMidi.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <thread>

#include "midi/midi_port.h"
#include "midi/rtmidi_backend.h"
#include "midi/support/jack_server.h"
#include "midi/support/jack_thru.h"
#include "midi/support/recorder.h"
#include "midi/support/test_log.h"
#include "midi/system_backend.h"

namespace banklore {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

Bytes sysEx(std::size_t size) {
  Bytes message(size);
  for (std::size_t i = 0; i < size; ++i) message[i] = static_cast<std::uint8_t>((i * 7) % 0x80);
  message.front() = 0xF0;
  message.back() = 0xF7;
  return message;
}

class JackTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = test::JackServer::start(whyNot_); }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    if (!server_) GTEST_SKIP() << "No JACK server for the integration tests: " << whyNot_;
    thru_ = test::JackThru::start("banklore-thru");
    ASSERT_TRUE(thru_) << "thru client could not join the JACK server";
  }

  // Ports go before the thru client, and both before the server.
  void TearDown() override {
    ports_.clear();
    thru_.reset();
  }

  MidiPort& makePort(const std::string& input, const std::string& output) {
    auto backend = makeRtMidiBackend(RtMidiApi::Jack);
    EXPECT_TRUE(backend);
    ports_.push_back(std::make_unique<MidiPort>(std::move(backend)));
    MidiPort& port = *ports_.back();
    port.SetInputDeviceName(input);
    port.SetOutputDeviceName(output);
    return port;
  }

  static std::unique_ptr<test::JackServer> server_;
  static std::string whyNot_;
  test::TestLog log_;
  std::unique_ptr<test::JackThru> thru_;
  std::vector<std::unique_ptr<MidiPort>> ports_;
};

std::unique_ptr<test::JackServer> JackTest::server_;
std::string JackTest::whyNot_;

TEST_F(JackTest, PortsAreListedByTheirFullJackNames) {
  MidiPort& first = makePort("", "");
  EXPECT_THAT(first.inputDeviceNames(), Contains("banklore-thru:out"));
  EXPECT_THAT(first.outputDeviceNames(), Contains("banklore-thru:in"));
  // A second client of this program sees the same names: they are what the settings store.
  MidiPort& second = makePort("", "");
  EXPECT_THAT(second.inputDeviceNames(), Contains("banklore-thru:out"));
  EXPECT_THAT(second.outputDeviceNames(), Contains("banklore-thru:in"));
}

TEST_F(JackTest, MissingNameLeavesThatSideClosed) {
  MidiPort& port = makePort("banklore-thru:OUT", "nowhere:in");
  ASSERT_TRUE(port.Open());
  EXPECT_FALSE(port.isInputOpen());
  EXPECT_FALSE(port.isOutputOpen());
  EXPECT_FALSE(thru_->waitConnected(std::chrono::milliseconds(100)));
  const Bytes message = sysEx(8);
  EXPECT_FALSE(port.SendSysEx(message.data(), message.size()));
  EXPECT_EQ(log_.contents(),
            "Midi Assertion failure: Error MIDIERR_NODEVICE\n"
            "Midi Assertion failure: Error MIDIERR_NODEVICE\n"
            "Attempting to send 8 bytes:\n"
            "f0, 07, 0e, 15, 1c, 23, 2a, f7\n"
            "Midi Assertion failure: Error MMSYSERR_INVALHANDLE\n");
}

TEST_F(JackTest, SystemBackendIsJackWhenOnlyAServerRuns) {
  if (access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "this machine has an ALSA sequencer";
  unsetenv("BANKLORE_MIDI_API");
  MidiPort port(makeSystemMidiBackend());
  EXPECT_THAT(port.inputDeviceNames(), Contains("banklore-thru:out"));
  EXPECT_THAT(log_.contents(), ::testing::Not(HasSubstr("MMSYSERR_NODRIVER")));
}

// Why long SysEx goes out in pieces: RtMidi's JACK output drops a single message that does not fit
// its ring buffer, without a word. Pieces far below that size are what MidiPort sends.
TEST_F(JackTest, RtMidiJackOutputDropsASingleMessageAbove16379Bytes) {
  struct Sizes {
    std::mutex mutex;
    std::vector<std::size_t> seen;
  } sizes;
  RtMidiIn in(RtMidi::UNIX_JACK, "banklore-limit-in");
  in.ignoreTypes(false, true, true);
  in.setCallback(
      [](double, std::vector<unsigned char>* message, void* user) {
        auto* received = static_cast<Sizes*>(user);
        std::lock_guard lock(received->mutex);
        received->seen.push_back(message->size());
      },
      &sizes);
  in.openVirtualPort("in");
  RtMidiOut out(RtMidi::UNIX_JACK, "banklore-limit-out");
  out.openVirtualPort("out");
  ASSERT_EQ(std::system("jack_connect banklore-limit-out:out banklore-limit-in:in"), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));

  for (std::size_t size : {std::size_t{16379}, std::size_t{16380}, kJackSysExPieceBytes}) {
    const Bytes message = sysEx(size);
    out.sendMessage(message.data(), message.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::lock_guard lock(sizes.mutex);
  EXPECT_THAT(sizes.seen, ElementsAre(16379u, kJackSysExPieceBytes));
}

struct Travel {
  const char* title;
  Bytes message;
};

void PrintTo(const Travel& t, std::ostream* os) {
  *os << t.title;
}

class JackTravel : public JackTest, public ::testing::WithParamInterface<Travel> {};

TEST_P(JackTravel, ArrivesIntactAndOnceAtTheOtherPort) {
  MidiPort& sender = makePort("", thru_->inputName());
  MidiPort& receiver = makePort(thru_->outputName(), "");
  test::Recorder received;
  received.attach(receiver);
  ASSERT_TRUE(sender.Open());
  ASSERT_TRUE(receiver.Open());
  EXPECT_TRUE(sender.isOutputOpen());
  EXPECT_TRUE(receiver.isInputOpen());
  ASSERT_TRUE(thru_->waitConnected(std::chrono::seconds(5)));

  const Bytes& message = GetParam().message;
  ASSERT_TRUE(sender.SendSysEx(message.data(), message.size()));
  ASSERT_TRUE(received.waitForData(1, std::chrono::seconds(5))) << "nothing arrived";
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // room for a duplicate to show
  receiver.Close();

  const auto data = received.data();
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0].size(), message.size());
  EXPECT_TRUE(data[0] == message) << "bytes changed on the way";
  EXPECT_THAT(received.errors(), ::testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Messages, JackTravel,
    ::testing::Values(Travel{"SysEx295", sysEx(295)},
                      // Far above what RtMidi's JACK output carries in one message.
                      Travel{"SysEx70000", sysEx(70000)},
                      Travel{"NoteOn", Bytes{0x94, 0x3C, 0x64}}),
    [](const auto& info) { return std::string(info.param.title); });

// Reports the round trip port -> thru -> same port for a 295-byte SysEx; it asserts only that
// every message came back whole.
TEST_F(JackTest, RoundTripLatencyOf295ByteSysEx) {
  MidiPort& port = makePort(thru_->outputName(), thru_->inputName());
  std::mutex mutex;
  std::condition_variable arrived;
  std::size_t calls = 0;
  Bytes last;
  port.SetDataCallback([&](MidiPort&, std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex);
    ++calls;
    last.assign(bytes.begin(), bytes.end());
    arrived.notify_all();
  });
  ASSERT_TRUE(port.Open());
  ASSERT_TRUE(thru_->waitConnected(std::chrono::seconds(5)));

  constexpr int kRounds = 200;
  const Bytes message = sysEx(295);
  std::vector<double> millis;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(port.SendSysEx(message.data(), message.size()));
    std::unique_lock lock(mutex);
    ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(2),
                                 [&] { return calls == static_cast<std::size_t>(round) + 1; }))
        << "round " << round;
    millis.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
    ASSERT_TRUE(last == message);
  }
  std::sort(millis.begin(), millis.end());
  const double median = millis[millis.size() / 2];
  const double p95 = millis[millis.size() * 95 / 100];
  std::cout << "JACK round trip, 295-byte SysEx, 48 kHz / 256 frames: median " << median
            << " ms, p95 " << p95 << " ms, max " << millis.back() << " ms over " << kRounds
            << " rounds\n";
  RecordProperty("median_ms", std::to_string(median));
  RecordProperty("p95_ms", std::to_string(p95));
}

// The receiving port is closed and reopened while a sender streams through the thru client:
// RtMidi's JACK thread never reaches the owner after Close has returned.
TEST_F(JackTest, NoCallbackAfterCloseWhileJackInputStreams) {
  MidiPort& sender = makePort("", thru_->inputName());
  MidiPort& receiver = makePort(thru_->outputName(), "");
  std::atomic<bool> closed{true};
  std::atomic<int> lateCalls{0};
  std::atomic<int> calls{0};
  std::atomic<int> damaged{0};
  receiver.SetDataCallback([&](MidiPort&, std::span<const std::uint8_t> bytes) {
    if (closed) ++lateCalls;
    ++calls;
    if (bytes[0] == 0xF0 && (bytes.size() != 295 || bytes.back() != 0xF7)) ++damaged;
  });
  ASSERT_TRUE(sender.Open());

  std::atomic<bool> done{false};
  std::thread player([&] {
    const Bytes message = sysEx(295);
    for (int i = 0; i < 2000 && !done; ++i) {
      const std::uint8_t noteOn[] = {0x90, static_cast<std::uint8_t>(i % 0x80), 0x40};
      sender.SendSysEx(noteOn, sizeof noteOn);
      if (i % 20 == 0) sender.SendSysEx(message.data(), message.size());
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });
  for (int cycle = 0; cycle < 40; ++cycle) {
    closed = false;
    ASSERT_TRUE(receiver.Open());
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + cycle % 4));
    receiver.Close();
    closed = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  done = true;
  player.join();

  EXPECT_EQ(lateCalls, 0);
  EXPECT_EQ(damaged, 0);
  EXPECT_GT(calls, 0) << "nothing arrived while open";
}

}  // namespace
}  // namespace banklore
