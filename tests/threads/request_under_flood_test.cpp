// A request of 500 slots while 10,000 short messages flood in, and the window closed while such a
// request runs, with every thread real: the instrument answers on its backend's input thread, a
// thread of its own floods the same output, and the librarian hops each message onto its UI
// thread (an event loop). On the loopback backend and on a JACK server of the test's own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <thread>

#include "app/event_loop.h"
#include "app/support/app_fixture.h"
#include "midi/jack_backend.h"
#include "midi/loopback_backend.h"
#include "support/jack_server.h"

namespace banklore::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr int kSlots = 500;
constexpr int kShortMessages = 10000;
constexpr const char* kInstrument = "banklore-flood-synth";

// 512 slots in banks of 128: requests F0 7D <device> 11 <bank> <program> F7, patches F0 7D
// <device> 10 <bank> <program>, an 8-byte name, 12 data bytes and F7.
constexpr const char* kDefinition =
    "[Flood]\nSettings=Flood\nNumTotalPatches=512\nNumPatchesPerBank=128\nFooterSize=1\n"
    "DataSize=20\nRequest=f0,7d,u1,11,t1,s1,f7\nSend=f0,7d,u1,10,t1,s1\nBankOffset=0\n"
    "NamePos=0\nNameLen=8\nDeviceIDBytes=0\n";

Bytes patchFor(int slot) {
  const int head[] = {0xF0, 0x7D, 0x00, 0x10, slot / 128, slot % 128};
  Bytes patch(27);
  for (std::size_t i = 0; i < patch.size(); ++i) {
    patch[i] = static_cast<std::uint8_t>(i < 6 ? head[i] : (slot * 7 + static_cast<int>(i)) & 0x7F);
  }
  patch.back() = 0xF7;
  return patch;
}

// Every kind of short message the port passes on, in turn.
Bytes shortMessage(int i) {
  const auto data = static_cast<std::uint8_t>(i % 0x80);
  // clang-format off
  const Bytes kinds[] = {{0x90, data, 0x40}, {0x80, data, 0x00}, {0xB1, 0x07, data}, {0xC2, data},
                         {0xE0, 0x00, data}, {0xF8}, {0xFE}};
  // clang-format on
  return kinds[i % 7];
}

// An instrument on virtual ports of its own: it answers each request on its backend's input
// thread, while a thread of its own sends the short messages through the same output.
struct Instrument {
  explicit Instrument(std::unique_ptr<MidiBackend> midi) : backend(std::move(midi)) {
    open = backend && backend->openVirtual(kInstrument, [this](auto m) { answer(m); }, {});
  }
  void answer(std::span<const std::uint8_t> message) {
    if (message.size() != 7 || message[1] != 0x7D || message[3] != 0x11) return;
    ++requests;
    backend->send(patchFor(message[4] * 128 + message[5]));
  }
  ~Instrument() {
    if (flood.joinable()) flood.join();
    if (backend) backend->closeVirtual();
  }
  // Sends the short messages, `pause` after every 20 of them.
  void startFlood(std::chrono::microseconds pause) {
    flood = std::thread([this, pause] {
      for (int i = 0; i < kShortMessages; ++i) {
        backend->send(shortMessage(i));
        if (i % 20 == 19) std::this_thread::sleep_for(pause);
      }
    });
  }

  std::unique_ptr<MidiBackend> backend;
  bool open = false;
  std::thread flood;
  std::atomic<int> requests{0};
};

struct Backend {
  const char* name;
  std::function<std::unique_ptr<MidiBackend>()> make;
  std::chrono::microseconds floodPause;  // after every 20 short messages
};

// Long enough never to be reached but by a hang.
constexpr auto kHangGuard = std::chrono::minutes(10);

class RequestUnderFlood : public ::testing::TestWithParam<Backend> {
 protected:
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    if (std::string(GetParam().name) == "Jack") {
      if (!server_) server_ = std::make_unique<test::JackServer>();
      if (!server_->running()) GTEST_SKIP() << "No JACK server: " << server_->whyNot();
    }
    loopback::reset();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::string(BANKLORE_TEST_TMPDIR) + "/threads/" + info->name() + "/";
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ + "banklore.idf") << kDefinition;
    std::ofstream(dir_ + "banklore.ini")
        << "[General]\nInstrument=Flood\n[Flood]\nMidiIN=" << kInstrument
        << ":out\nMidiOUT=" << kInstrument << ":in\nDeviceID=0\nRequestDelay=0\nSendDelay=0\n";
    instrument_ = std::make_unique<Instrument>(GetParam().make());
    ASSERT_TRUE(instrument_->open);
    window_ = std::make_unique<MainWindow>(ProgramPaths{dir_, "banklore"}, GetParam().make, view_,
                                           prompts_, loop_);
    window_->initWindow();
    ASSERT_TRUE(window_->midiPort().isInputOpen() && window_->midiPort().isOutputOpen());
    // What reaches the UI thread, counted there.
    window_->setMidiDataHandler([this](std::span<const std::uint8_t> bytes) {
      if (bytes[0] == 0xF0) {
        ++sysEx_;
      } else {
        ++shortMessages_;
        if (bytes.size() != shortMessage(static_cast<int>(seenOrder_++)).size()) ++damaged_;
      }
    });
  }
  void TearDown() override {
    window_.reset();
    instrument_.reset();
    loopback::reset();
  }

  void requestAll() {
    view_.banks[0].selection.resize(kSlots);
    std::iota(view_.banks[0].selection.begin(), view_.banks[0].selection.end(), 0);
    window_->setActiveBank(0);
    window_->onCommand(CommandId::RequestSelected);
    ASSERT_TRUE(window_->request().requestActive);
  }

  static inline std::unique_ptr<test::JackServer> server_;
  std::string dir_;
  FakeView view_;
  FakePrompts prompts_;
  EventLoop loop_;
  std::unique_ptr<Instrument> instrument_;
  std::unique_ptr<MainWindow> window_;
  // UI thread only.
  int sysEx_ = 0;
  int shortMessages_ = 0;
  std::size_t seenOrder_ = 0;
  int damaged_ = 0;
};

TEST_P(RequestUnderFlood, EverySlotArrivesAndEveryShortMessageReachesTheUiThreadWhole) {
  requestAll();
  instrument_->startFlood(GetParam().floodPause);
  ASSERT_TRUE(loop_.runUntil([&] { return !window_->request().requestActive; }, kHangGuard))
      << "still awaiting slot " << window_->request().currentPending;
  instrument_->flood.join();
  ASSERT_TRUE(loop_.runUntil([&] { return shortMessages_ >= kShortMessages; }, kHangGuard))
      << shortMessages_ << " of " << kShortMessages << " short messages arrived";
  EXPECT_EQ(view_.banks[0].status, "Request completed.");
  EXPECT_TRUE(prompts_.messages.empty()) << prompts_.messages.front();
  EXPECT_EQ(shortMessages_, kShortMessages);
  EXPECT_EQ(damaged_, 0) << "short messages arrived cut, padded or out of order";
  for (int slot = 0; slot < kSlots; ++slot) {
    const auto bytes = window_->bank(0).slots[static_cast<std::size_t>(slot)].bytes();
    ASSERT_TRUE(std::ranges::equal(bytes, patchFor(slot))) << "slot " << slot;
  }
}

// The window goes while patches and short messages are still coming in: it closes its port, and
// whatever the MIDI thread had already handed to the UI thread finds the window gone.
TEST_P(RequestUnderFlood, ClosingTheWindowDuringTheRequestStopsItCleanly) {
  requestAll();
  instrument_->startFlood(GetParam().floodPause);
  ASSERT_TRUE(loop_.runUntil([&] { return sysEx_ >= kSlots / 5; }, kHangGuard));
  ASSERT_TRUE(window_->request().requestActive);
  prompts_.yesNo = {true};  // discard the patches fetched so far
  window_->close();
  ASSERT_TRUE(window_->closed());
  EXPECT_FALSE(window_->request().requestActive);
  window_.reset();
  const int requestsAtClose = instrument_->requests;
  instrument_->flood.join();
  // The port is closed: the tasks the MIDI thread posted meanwhile all lie before this one.
  bool drained = false;
  loop_.postToUiThread([&] { drained = true; });
  ASSERT_TRUE(loop_.runUntil([&] { return drained; }, kHangGuard));
  EXPECT_LE(instrument_->requests, requestsAtClose + 1) << "requests went on after closing";
  EXPECT_LT(sysEx_, kSlots);
}

INSTANTIATE_TEST_SUITE_P(Backends, RequestUnderFlood,
                         ::testing::Values(Backend{"Loopback", makeLoopbackBackend, 500us},
                                           Backend{"Jack", [] { return makeJackBackend(); }, 5ms}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace banklore::testing
