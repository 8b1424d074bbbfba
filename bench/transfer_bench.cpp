// Whole-bank transfers as a musician runs them: the real window (offscreen) and banklore-virtual-
// synth as its own process on a private JACK server, delays 0. Reported per transfer: time per
// patch, the share of it that Banklore's own code held the UI thread (the rest is waiting for the
// instrument and the transport), and the longest the window's event loop went without turning.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/main_window.h"
#include "midi/system_backend.h"
#include "qt_application.h"
#include "support/cancelling_prompts.h"
#include "support/jack_server.h"
#include "support/synth_process.h"
#include "ui/main_frame.h"
#include "ui/qt_ui_clock.h"

namespace banklore::bench {
namespace {

using Clock = std::chrono::steady_clock;

// The window's clock, timing every tick and task it runs for the librarian.
class TimingClock : public UiClock {
 public:
  std::uint32_t nowMs() const override { return inner_.nowMs(); }
  void startTimer(int id, std::uint32_t periodMs, bool repeating,
                  std::function<void()> onTick) override {
    inner_.startTimer(id, periodMs, repeating, timed(std::move(onTick)));
  }
  void stopTimer(int id) override { inner_.stopTimer(id); }
  void postToUiThread(std::function<void()> task) override {
    inner_.postToUiThread(timed(std::move(task)));
  }
  template <typename Work>
  void time(Work work) {
    const auto start = Clock::now();
    work();
    busy += Clock::now() - start;
  }
  Clock::duration busy{};

 private:
  std::function<void()> timed(std::function<void()> work) {
    return [this, work = std::move(work)] { time(work); };
  }
  QtUiClock inner_;
};

// The longest time between two turns of the event loop, seen by a 1 ms timer.
class LoopGapProbe {
 public:
  LoopGapProbe() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout,
                     [this] { longestMs_ = std::max(longestMs_, since_.restart()); });
    since_.start();
    timer_.start(1);
  }
  double longestMs() const { return static_cast<double>(longestMs_); }

 private:
  QTimer timer_;
  QElapsedTimer since_;
  qint64 longestMs_ = 0;
};

// Runs the event loop, as the program's own does, while `busy` holds (at most a minute).
void runWhile(const std::function<bool()>& busy) {
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!busy()) loop.quit();
  });
  poll.start(5);
  QTimer::singleShot(60000, &loop, &QEventLoop::quit);
  loop.exec();
}

struct Session {
  Session() {
    dir = std::filesystem::temp_directory_path() / ("banklore-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(BANKLORE_IDF, dir / "banklore.idf",
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(dir / "banklore.ini")
        << "[General]\nInstrument=Virtual\n[Virtual]\nMidiIN=banklore-virtual-synth:out\n"
           "MidiOUT=banklore-virtual-synth:in\nDeviceID=0\nRequestDelay=0\nSendDelay=0\n";
    setenv("BANKLORE_MIDI_API", "jack", 1);
  }
  ~Session() {
    frame.detach();
    window.reset();
    synth.reset();
    std::filesystem::remove_all(dir);
  }
  // The reason it cannot run, or empty.
  std::string start() {
    if (!server.running()) return server.whyNot();
    synth = std::make_unique<test::SynthProcess>(
        BANKLORE_VIRTUAL_SYNTH,
        std::vector<std::string>{"--instrument", "Virtual", "--idf",
                                 (dir / "banklore.idf").string()},
        (dir / "synth.syx").string(), (dir / "synth.log").string());
    if (!synth->waitForPorts()) return "the virtual synth did not start";
    window = std::make_unique<MainWindow>(ProgramPaths{dir.string() + "/", "banklore"},
                                          makeSystemMidiBackend, frame, prompts, clock);
    frame.attach(*window);
    window->initWindow();
    frame.show();
    if (!window->midiPort().isInputOpen() || !window->midiPort().isOutputOpen()) {
      return "the librarian could not open the synth's ports";
    }
    std::vector<int> all(256);
    for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = i;
    frame.setSelection(0, all, 0);
    return "";
  }
  // Runs a command on all 256 slots until `busy` no longer holds; reports the figures.
  void transfer(benchmark::State& state, CommandId command, const std::function<bool()>& busy,
                const char* done) {
    clock.busy = {};
    LoopGapProbe probe;
    const auto start = Clock::now();
    clock.time([&] { window->onCommand(command); });
    runWhile(busy);
    const std::chrono::duration<double, std::milli> took = Clock::now() - start;
    if (window->bank(0).statusText != done) {
      state.SkipWithError(("ended with: " + window->bank(0).statusText).c_str());
    }
    state.SetIterationTime(took.count() / 1000);
    state.counters["ms_per_patch"] = took.count() / 256;
    state.counters["banklore_share_%"] =
        100 * std::chrono::duration<double, std::milli>(clock.busy).count() / took.count();
    state.counters["longest_loop_gap_ms"] = probe.longestMs();
  }

  QApplication& app = application();  // before any widget
  test::JackServer server;
  std::filesystem::path dir;
  TimingClock clock;
  MainFrame frame;
  CancellingPrompts prompts;
  std::unique_ptr<test::SynthProcess> synth;
  std::unique_ptr<MainWindow> window;
};

void BM_FetchBankOverJack(benchmark::State& state) {
  Session session;
  if (const std::string why = session.start(); !why.empty())
    return state.SkipWithError(why.c_str());
  for (auto _ : state) {
    session.transfer(
        state, CommandId::RequestSelected, [&] { return session.window->request().requestActive; },
        "Request completed.");
  }
}
BENCHMARK(BM_FetchBankOverJack)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_SendBankOverJack(benchmark::State& state) {
  Session session;
  if (const std::string why = session.start(); !why.empty())
    return state.SkipWithError(why.c_str());
  // Patches worth sending: the synth's own, fetched first.
  session.window->onCommand(CommandId::RequestSelected);
  runWhile([&] { return session.window->request().requestActive; });
  for (auto _ : state) {
    session.transfer(
        state, CommandId::SendSelected, [&] { return session.window->sending(); },
        "256 patches sent.");
  }
}
BENCHMARK(BM_SendBankOverJack)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace banklore::bench
