// The librarian's window and banklore-virtual-synth as two programs on a JACK server of the test's
// own: whole banks fetched through the faults real instruments have and sent, compared byte for
// byte with what the synth holds; the server ending during a request; and a MIDI merger that
// mixes clock and notes into a transfer. Nothing may crash or hang, and nothing that arrived may
// be lost. (Ports that vanish and come back, and sends the output refuses, are the MIDI and app
// suites' cases.)
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>

#include "app/event_loop.h"
#include "app/support/app_fixture.h"
#include "e2e/support/synth_over_jack.h"
#include "midi/system_backend.h"

namespace banklore::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kSynthOut = "banklore-virtual-synth:out";
constexpr int kSlots = 256;
constexpr int kWakeTimer = 990;  // none of the window's

// Instruments whose patch messages leave part of the slot to the request, and slots across what
// they leave out: the classic Nova's name no slot at all, the Matrix-1000's the program only (100
// to a bank).
struct PartlyNamed {
  const char* instrument;
  std::vector<int> slots;
};
const PartlyNamed kPartlyNamed[] = {{"Nova (classic layout)", {0, 1, 2, 3}},
                                    {"Matrix-1000", {98, 99, 100, 101}}};

// A MIDI merger between the synth and the librarian, as a musician's set-up may have one: it
// passes the synth's output on and mixes in a clock, also between the pieces of a SysEx (as MIDI
// allows real-time messages to), and notes between whole messages only (as a merger must).
class Merger {
 public:
  Merger() : client_(jack_client_open("merger", JackNoStartServer, nullptr), &jack_client_close) {
    if (!client_) return;
    in_ = jack_port_register(client_.get(), "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    out_ = jack_port_register(client_.get(), "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client_.get(), &Merger::process, this);
    ready_ = in_ && out_ && jack_activate(client_.get()) == 0 &&
             jack_connect(client_.get(), kSynthOut, "merger:in") == 0;
  }
  ~Merger() {
    if (client_) jack_deactivate(client_.get());
  }
  bool ready() const { return ready_; }
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
    for (std::uint32_t i = 0; i < jack_midi_get_event_count(in); ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, in, i) != 0) continue;
      jack_midi_event_write(out, event.time, event.buffer, event.size);
      for (std::size_t b = 0; b < event.size; ++b) {
        if (event.buffer[b] == 0xF0 || event.buffer[b] == 0xF7) insideSysEx_ = event.buffer[b] == 0xF0;
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

  std::unique_ptr<jack_client_t, int (*)(jack_client_t*)> client_;
  jack_port_t* in_ = nullptr;
  jack_port_t* out_ = nullptr;
  bool ready_ = false;
  bool insideSysEx_ = false;  // the process thread's own
  bool noteOn_ = true;
  long cycles_ = 0;
};

class TransfersOverJack : public SynthOverJack {
 protected:
  TransfersOverJack() : SynthOverJack("e2e") {}
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

  // The window on the synth playing `instrument`, its ports open.
  void openWindow(const std::string& instrument = "Virtual", int delayMs = 0,
                  const std::string& in = kSynthOut) {
    writeSettings(instrument, delayMs, in);
    window_.reset();  // its ports closed first
    window_ = std::make_unique<MainWindow>(ProgramPaths{dir_, "banklore"}, makeSystemMidiBackend,
                                           view_, prompts_, loop_);
    window_->initWindow();
    ASSERT_TRUE(window_->midiPort().isInputOpen() && window_->midiPort().isOutputOpen());
  }
  void select(int first, int count) {
    view_.banks[0].selection.clear();
    for (int i = first; i < first + count; ++i) view_.banks[0].selection.push_back(i);
  }
  // Waits, running the window's event loop, until `done` holds (a hang fails, however slow). A
  // timer of its own wakes the loop, which else looks again only when it has something to do.
  bool waitFor(const std::function<bool()>& done) {
    loop_.startTimer(kWakeTimer, 20, true, [] {});
    const bool held = loop_.runUntil(done, 300s);
    loop_.stopTimer(kWakeTimer);
    return held;
  }
  // Requests the selection and waits for its end.
  bool request() {
    window_->onCommand(CommandId::RequestSelected);
    return waitFor([&] { return !window_->request().requestActive; });
  }
  // Waits until `text` is in the log, read every 20 ms at most however busy the loop is.
  bool waitForLog(const std::string& text) {
    auto next = std::chrono::steady_clock::now();
    return waitFor([&] {
      if (std::chrono::steady_clock::now() < next) return false;
      next = std::chrono::steady_clock::now() + 20ms;
      std::ifstream in(dir_ + "banklore_Debug.txt", std::ios::binary);
      return std::string{std::istreambuf_iterator<char>(in), {}}.find(text) != std::string::npos;
    });
  }
  // Fetches every slot and checks that each is byte for byte what the synth holds.
  void fetchAll() {
    select(0, kSlots);
    ASSERT_TRUE(request()) << "still awaiting slot "
                           << window_->request().pendingSlots[window_->request().currentPending];
    EXPECT_EQ(view_.banks[0].status, "Request completed.");
    EXPECT_TRUE(prompts_.messages.empty()) << prompts_.messages.front();
    EXPECT_TRUE(joined(window_->bank(0).slots) == stopSynth())
        << "a fetched patch differs from the synth's";
  }
  FakeView view_;
  FakePrompts prompts_;
  EventLoop loop_;
  std::unique_ptr<Merger> merger_;
  std::unique_ptr<MainWindow> window_;
  static inline bool serverStopped_ = false;
};

// Every kind of fault at once: each is asked past or again until the right patch is in, and a
// dropped answer costs one watchdog timeout.
TEST_F(TransfersOverJack, FetchesAWholeBankThroughDroppedCorruptLateWrongSlotAndGarbledAnswers) {
  startSynth({"--drop", "90", "--corrupt", "11", "--wrong-slot", "17", "--delay", "3", "--garbage",
              "7"});
  openWindow();
  fetchAll();
}

// Every answer comes twice and after the engine has asked again, and the patch messages leave
// part of the slot to the request: each extra answer must be told from the next slot's.
TEST_F(TransfersOverJack, LateRepeatedAnswersNamingPartOfTheSlotLandInTheirOwnSlots) {
  for (const PartlyNamed& c : kPartlyNamed) {
    SCOPED_TRACE(c.instrument);
    startSynth({"--delay", "2500", "--twice", "1"}, c.instrument);
    openWindow(c.instrument, 415);
    prompts_.messages.clear();
    view_.banks[0].selection = c.slots;
    const std::vector<Patch> before = window_->bank(0).slots;
    const Bytes bank1 = joined(window_->bank(1).slots);
    ASSERT_TRUE(request());
    EXPECT_EQ(view_.banks[0].status, "Request completed.");
    EXPECT_TRUE(prompts_.messages.empty()) << prompts_.messages.front();
    const Bytes held = stopSynth();
    const auto size = static_cast<std::size_t>(window_->definition().PatchSize());
    std::vector<int> wrong, strays;  // asked for but not the synth's; written but not asked for
    for (std::size_t slot = 0; slot < before.size(); ++slot) {
      const auto bytes = window_->bank(0).slots[slot].bytes();
      if (std::ranges::find(c.slots, slot) != c.slots.end()) {
        if (!std::ranges::equal(bytes, std::span(held).subspan(slot * size, size))) {
          wrong.push_back(static_cast<int>(slot));
        }
      } else if (!std::ranges::equal(bytes, before[slot].bytes())) {
        strays.push_back(static_cast<int>(slot));
      }
    }
    EXPECT_EQ(wrong, std::vector<int>{});
    EXPECT_EQ(strays, std::vector<int>{});
    EXPECT_TRUE(joined(window_->bank(1).slots) == bank1);
  }
}

TEST_F(TransfersOverJack, SendsAWholeBankThatTheSynthStores) {
  startSynth({});
  openWindow();
  // Every slot gets a patch of the synth's own kind under a new name, checksummed.
  for (int slot = 0; slot < kSlots; ++slot) {
    window_->bank(0).slots[slot].loadBytes(sentPatch(window_->definition(), slot));
  }
  select(0, kSlots);
  const Bytes sent = joined(window_->bank(0).slots);
  window_->onCommand(CommandId::SendSelected);
  ASSERT_TRUE(waitFor([&] { return !window_->sending(); }));
  EXPECT_EQ(view_.banks[0].status, "256 patches sent.");
  waitForStored(kSlots);  // the last patches travel through JACK
  EXPECT_TRUE(stopSynth() == sent) << "the synth holds something else than was sent";
}

// The server going away under a request: the window goes on, says why in its log and status
// line, a command still ends the request at once, and closing works.
TEST_F(TransfersOverJack, TheServerGoingAwayDuringARequestLeavesAWindowThatRunsAndCloses) {
  startSynth({"--delay", "20"});
  openWindow();
  select(0, kSlots);
  window_->onCommand(CommandId::RequestSelected);
  ASSERT_TRUE(waitFor([&] { return window_->request().currentPending >= 10; }));
  stopServer();
  const std::string told = "No MIDI: the JACK server has gone away. Setup tries again.";
  ASSERT_TRUE(waitForLog(told + "\n"));
  EXPECT_EQ(view_.banks[0].status, told);
  const int arrived = static_cast<int>(window_->request().currentPending);
  window_->onCommand(CommandId::SelectNone);
  EXPECT_EQ(view_.banks[0].status, "Request aborted.");
  prompts_.yesNo = {true};  // the fetched patches may go
  window_->close();
  EXPECT_EQ(view_.endRuns, 1);
  for (int slot = 0; slot < arrived; ++slot) {  // the synth's patches, as far as names tell
    std::string name = window_->name(0, slot);
    EXPECT_EQ(name.erase(name.find_last_not_of(' ') + 1),
              "Virtual " + window_->definition().patchLabel(slot));
  }
}

TEST_F(TransfersOverJack, ClockAndNotesMergedIntoATransferCostNoPatch) {
  startSynth({"--split", "32", "--gap", "2"});
  merger_ = std::make_unique<Merger>();
  ASSERT_TRUE(merger_->ready());
  openWindow("Virtual", 0, "merger:out");
  long clocks = 0, notes = 0;
  window_->setMidiDataHandler([&](std::span<const std::uint8_t> bytes) {
    if (bytes[0] == 0xF8) ++clocks;
    if ((bytes[0] & 0xE0) == 0x80) ++notes;
  });
  fetchAll();
  EXPECT_GT(merger_->clocksInsideSysEx, 100);
  EXPECT_GT(notes, 10);
  EXPECT_GT(clocks, merger_->clocksInsideSysEx.load());
}

}  // namespace
}  // namespace banklore::testing
