// What goes wrong between the librarian and an instrument, over a JACK server of the test's own
// with banklore-virtual-synth as a program apart: the instrument killed in the middle of a
// request and of a send, restarted (its ports gone and back), the server itself ending, garbage
// between good answers, and a MIDI merger that mixes clock and notes into a transfer. Nothing may
// crash or hang, and nothing that arrived may be lost.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "app/event_loop.h"
#include "app/support/app_fixture.h"
#include "e2e/support/synth_over_jack.h"
#include "midi/system_backend.h"

namespace banklore::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr const char* kSynthIn = "banklore-virtual-synth:in";
constexpr const char* kSynthOut = "banklore-virtual-synth:out";
constexpr int kSlots = 256;

// A MIDI merger between the synth and the librarian, as a musician's set-up may have one: it
// passes the synth's output on and mixes in a clock, also between the pieces of a SysEx (as MIDI
// allows real-time messages to), and notes between whole messages only (as a merger must).
class Merger {
 public:
  Merger() {
    client_ = jack_client_open("merger", JackNoStartServer, nullptr);
    if (client_ == nullptr) return;
    in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client_, &Merger::process, this);
    active_ = in_ && out_ && jack_activate(client_) == 0;
  }
  ~Merger() {
    if (client_ == nullptr) return;
    jack_deactivate(client_);
    jack_client_close(client_);
  }
  Merger(const Merger&) = delete;
  Merger& operator=(const Merger&) = delete;

  bool ready() const { return active_; }
  bool connect(const std::string& from, const std::string& to) {
    return jack_connect(client_, from.c_str(), to.c_str()) == 0;
  }

  std::atomic<long> clocks{0}, clocksInsideSysEx{0}, notes{0};

 private:
  static int process(jack_nframes_t frames, void* self) {
    static_cast<Merger*>(self)->cycle(frames);
    return 0;
  }
  // JACK's real-time thread: no lock, no allocation.
  void cycle(jack_nframes_t frames) {
    void* in = jack_port_get_buffer(in_, frames);
    void* out = jack_port_get_buffer(out_, frames);
    jack_midi_clear_buffer(out);
    writeClock(out, 0);
    const std::uint32_t count = jack_midi_get_event_count(in);
    for (std::uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, in, i) != 0) continue;
      jack_midi_event_write(out, event.time, event.buffer, event.size);
      for (std::size_t b = 0; b < event.size; ++b) {
        if (event.buffer[b] == 0xF0) insideSysEx_ = true;
        if (event.buffer[b] == 0xF7) insideSysEx_ = false;
      }
      writeClock(out, event.time);
    }
    if (!insideSysEx_ && ++cycles_ % 3 == 0) {
      const std::uint8_t note[3] = {static_cast<std::uint8_t>(noteOn_ ? 0x90 : 0x80), 0x3C, 0x40};
      if (jack_midi_event_write(out, frames - 1, note, sizeof note) == 0) ++notes;
      noteOn_ = !noteOn_;
    }
  }
  void writeClock(void* out, jack_nframes_t time) {
    const std::uint8_t clock = 0xF8;
    if (jack_midi_event_write(out, time, &clock, 1) != 0) return;
    ++clocks;
    if (insideSysEx_) ++clocksInsideSysEx;
  }

  jack_client_t* client_ = nullptr;
  jack_port_t* in_ = nullptr;
  jack_port_t* out_ = nullptr;
  bool active_ = false;
  bool insideSysEx_ = false;  // the process thread's own
  bool noteOn_ = true;
  long cycles_ = 0;
};

class FaultsOverJack : public SynthOverJack {
 protected:
  FaultsOverJack() : SynthOverJack("e2e") {}
  void SetUp() override {
    if (serverStopped_) {  // by the test before, in this process
      serverStopped_ = false;
      server_.reset();  // first: it clears the default server's name on its way out
      server_ = std::make_unique<test::JackServer>();
    }
    SynthOverJack::SetUp();
  }
  void TearDown() override {
    window_.reset();
    merger_.reset();
    SynthOverJack::TearDown();
  }
  void stopServer() {
    serverStopped_ = true;
    server_->stop();
  }

  void startLibrarian(const std::string& midiIn = kSynthOut, int sendDelay = 0) {
    std::ofstream(dir_ + "banklore.ini")
        << "[General]\nInstrument=Virtual\n[Virtual]\nMidiIN=" << midiIn << "\nMidiOUT=" << kSynthIn
        << "\nDeviceID=0\nRequestDelay=0\nSendDelay=" << sendDelay << "\n";
    window_ = std::make_unique<MainWindow>(ProgramPaths{dir_, "banklore"}, makeSystemMidiBackend,
                                           view_, prompts_, loop_);
    window_->initWindow();
    ASSERT_TRUE(window_->midiPort().isInputOpen() && window_->midiPort().isOutputOpen());
  }
  void select(int first, int count) {
    view_.banks[0].selection.clear();
    for (int i = first; i < first + count; ++i) view_.banks[0].selection.push_back(i);
  }
  // Requests the selection and waits for its end.
  bool request(std::chrono::seconds limit) {
    window_->onCommand(CommandId::RequestSelected);
    return loop_.runUntil([&] { return !window_->request().requestActive; }, limit);
  }
  // Waits, running the window's event loop, until `text` is in the log.
  bool waitForLog(const std::string& text, std::chrono::seconds limit) {
    auto next = std::chrono::steady_clock::now();
    return loop_.runUntil(
        [&] {
          // The log is read every 20 ms at most, however busy the loop is.
          if (std::chrono::steady_clock::now() < next) return false;
          next = std::chrono::steady_clock::now() + 20ms;
          return logged(text);
        },
        limit);
  }
  bool logged(const std::string& text) const {
    std::ifstream in(dir_ + "banklore_Debug.txt", std::ios::binary);
    const std::string log{std::istreambuf_iterator<char>(in), {}};
    return log.find(text) != std::string::npos;
  }
  // The slot holds the synth's patch for it, as far as its name tells.
  std::string nameOf(int slot) const {
    std::string name = window_->name(0, slot);
    return name.erase(name.find_last_not_of(' ') + 1);
  }
  std::string synthName(int slot) const {
    return "Virtual " + window_->definition().patchLabel(slot);
  }
  // Fetches every slot and checks that each is byte for byte what the synth holds.
  void fetchAll(std::chrono::seconds limit) {
    select(0, kSlots);
    ASSERT_TRUE(request(limit))
        << "still awaiting slot "
        << window_->request().pendingSlots[window_->request().currentPending];
    EXPECT_EQ(view_.banks[0].status, "Request completed.");
    EXPECT_TRUE(prompts_.messages.empty()) << prompts_.messages.front();
    EXPECT_TRUE(synth_->stop());
    const Bytes held = synth_->dump();
    ASSERT_EQ(held.size(), std::size_t{kSlots} * 128u);
    EXPECT_TRUE(joined(window_->bank(0).slots) == held)
        << "a fetched patch differs from the synth's";
  }
  // Every slot of bank 0 gets a patch of the synth's kind, ready to be sent.
  void fillBank() {
    for (int slot = 0; slot < kSlots; ++slot) {
      window_->bank(0).slots[slot].loadBytes(sentPatch(window_->definition(), slot));
    }
    select(0, kSlots);
  }
  // A send that ended early says how many went and how many the output refused: all of them.
  void expectHonestCount() {
    static const std::regex counted(R"((\d+) patches sent, (\d+) refused by the MIDI output\.)");
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(view_.banks[0].status, parts, counted)) << view_.banks[0].status;
    const int sent = std::stoi(parts[1]), refused = std::stoi(parts[2]);
    EXPECT_EQ(sent + refused, kSlots);
    EXPECT_GT(refused, 0);
    std::cout << sent << " patches sent, " << refused << " refused\n";
  }

  FakeView view_;
  FakePrompts prompts_;
  EventLoop loop_;
  std::unique_ptr<Merger> merger_;
  std::unique_ptr<MainWindow> window_;
  static inline bool serverStopped_ = false;
};

// The one case that sits out the whole watchdog (six timeouts of two seconds).
TEST_F(FaultsOverJack, AnInstrumentKilledDuringARequestEndsItWithReceiveTimeoutKeepingWhatCame) {
  startSynth({"--delay", "20"});
  startLibrarian();
  select(0, kSlots);
  window_->onCommand(CommandId::RequestSelected);
  ASSERT_TRUE(loop_.runUntil([&] { return window_->request().currentPending >= 20; }, 30s));
  synth_->crash();
  const int arrived = static_cast<int>(window_->request().currentPending);
  ASSERT_TRUE(loop_.runUntil([&] { return !window_->request().requestActive; }, 20s));
  EXPECT_EQ(prompts_.messages, S{"Receive Timeout!"});
  EXPECT_EQ(view_.banks[0].status, "Ready.");
  for (int slot = 0; slot < arrived; ++slot) EXPECT_EQ(nameOf(slot), synthName(slot));
  EXPECT_TRUE(
      logged("MIDI IN banklore-virtual-synth:out is gone; it is reconnected when it is "
             "back.\nMIDI OUT banklore-virtual-synth:in is gone"));
}

TEST_F(FaultsOverJack, AnInstrumentKilledDuringASendEndsItWithAnHonestCount) {
  startSynth({});
  startLibrarian(kSynthOut, 10);
  fillBank();
  window_->onCommand(CommandId::SendSelected);
  ASSERT_TRUE(loop_.runUntil([&] { return window_->bank(0).progressPosition >= 30; }, 20s));
  synth_->crash();
  ASSERT_TRUE(loop_.runUntil([&] { return !window_->sending(); }, 20s));
  expectHonestCount();
  EXPECT_TRUE(waitForLog("MIDI OUT banklore-virtual-synth:in is gone", 5s));
}

// A USB synth unplugged and plugged in again, or an instrument program restarted: its ports go
// and come back under the same names, and the librarian follows without a visit to Setup.
TEST_F(FaultsOverJack, AnInstrumentThatComesBackIsReconnectedByName) {
  startSynth({});
  startLibrarian();
  select(0, 4);
  ASSERT_TRUE(request(10s));
  ASSERT_EQ(view_.banks[0].status, "Request completed.");
  EXPECT_TRUE(synth_->stop());
  ASSERT_TRUE(waitForLog("MIDI IN banklore-virtual-synth:out is gone", 5s));
  EXPECT_TRUE(view_.banks[0].status.find("is gone; it is reconnected when it is back.") !=
              std::string::npos)
      << view_.banks[0].status;

  startSynth({});
  ASSERT_TRUE(waitForLog("MIDI IN banklore-virtual-synth:out reconnected.\n", 5s));
  ASSERT_TRUE(waitForLog("MIDI OUT banklore-virtual-synth:in reconnected.\n", 5s));
  EXPECT_TRUE(view_.banks[1].status.ends_with(" reconnected.")) << view_.banks[1].status;
  select(4, 4);
  ASSERT_TRUE(request(10s));
  EXPECT_EQ(view_.banks[0].status, "Request completed.");
  for (int slot = 0; slot < 8; ++slot) EXPECT_EQ(nameOf(slot), synthName(slot));
  EXPECT_TRUE(prompts_.messages.empty());
}

// The server going away under a request: the window goes on, says why in its log and status
// line, a command still ends the request at once, and closing works.
TEST_F(FaultsOverJack, TheServerGoingAwayDuringARequestLeavesAWindowThatRunsAndCloses) {
  startSynth({"--delay", "20"});
  startLibrarian();
  select(0, kSlots);
  window_->onCommand(CommandId::RequestSelected);
  ASSERT_TRUE(loop_.runUntil([&] { return window_->request().currentPending >= 10; }, 30s));
  stopServer();
  const std::string told = "No MIDI: the JACK server has gone away. Setup tries again.";
  ASSERT_TRUE(waitForLog(told + "\n", 5s));
  EXPECT_EQ(view_.banks[0].status, told);
  const int arrived = static_cast<int>(window_->request().currentPending);
  const auto start = std::chrono::steady_clock::now();
  window_->onCommand(CommandId::SelectNone);
  EXPECT_EQ(view_.banks[0].status, "Request aborted.");
  prompts_.yesNo = {true};  // the fetched patches may go
  window_->close();
  EXPECT_EQ(view_.endRuns, 1);
  for (int slot = 0; slot < arrived; ++slot) EXPECT_EQ(nameOf(slot), synthName(slot));
  window_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "closing waited for the server";
}

TEST_F(FaultsOverJack, TheServerGoingAwayDuringASendEndsItWithAnHonestCount) {
  startSynth({});
  startLibrarian(kSynthOut, 10);
  fillBank();
  window_->onCommand(CommandId::SendSelected);
  ASSERT_TRUE(loop_.runUntil([&] { return window_->bank(0).progressPosition >= 30; }, 20s));
  stopServer();
  ASSERT_TRUE(loop_.runUntil([&] { return !window_->sending(); }, 10s));
  expectHonestCount();
  EXPECT_TRUE(waitForLog("No MIDI: the JACK server has gone away", 5s));
  const auto start = std::chrono::steady_clock::now();
  window_->close();
  EXPECT_EQ(view_.endRuns, 1);
  window_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

// Each garbage piece is an input error or a packet that does not fit, and is asked past.
TEST_F(FaultsOverJack, GarbageBetweenGoodAnswersCostsNoPatch) {
  startSynth({"--garbage", "4"});
  startLibrarian();
  fetchAll(90s);
}

TEST_F(FaultsOverJack, ClockAndNotesMergedIntoATransferCostNoPatch) {
  startSynth({"--split", "32", "--gap", "2"});
  merger_ = std::make_unique<Merger>();
  ASSERT_TRUE(merger_->ready());
  ASSERT_TRUE(merger_->connect(kSynthOut, "merger:in"));
  startLibrarian("merger:out");
  long clocks = 0, notes = 0;
  window_->setMidiDataHandler([&](std::span<const std::uint8_t> bytes) {
    if (bytes[0] == 0xF8) ++clocks;
    if ((bytes[0] & 0xE0) == 0x80) ++notes;
  });
  fetchAll(90s);
  std::cout << merger_->clocks << " clocks (" << merger_->clocksInsideSysEx
            << " inside a SysEx) and " << merger_->notes << " notes merged\n";
  EXPECT_GT(merger_->clocksInsideSysEx, 100);
  EXPECT_GT(notes, 10);
  EXPECT_GT(clocks, merger_->clocksInsideSysEx.load());
}

}  // namespace
}  // namespace banklore::testing
