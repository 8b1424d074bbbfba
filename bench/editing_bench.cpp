// Every bank-editing command on a 4,096-slot bank loaded from a file and named at random (many
// names repeat), with every slot selected and with a scattered selection of 1,000; Move also with
// 1,600 slots moved down 1,023, as musicians reported it. Each command runs twice: on the
// librarian alone, whose view reads every row it is told to refresh, and in the real window
// (offscreen), where the time includes the events the command leaves and a repaint of the window.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <functional>
#include <numeric>
#include <random>
#include <string>

#include "bench_support.h"
#include "qt_application.h"
#include "ui/main_frame.h"

namespace banklore::bench {
namespace {

enum class Pick { All, Scattered, Issue, One, Two };

// The selections: every slot; 1,000 among 1,023..3,072 (so either move by 1,023 goes all the
// way); 1,600 among the first 3,072; one slot; two far apart.
std::vector<int> pick(Pick which) {
  std::mt19937 random(7);
  const auto sample = [&random](int count, int first, int end) {
    std::vector<int> pool(static_cast<std::size_t>(end - first));
    std::iota(pool.begin(), pool.end(), first);
    std::shuffle(pool.begin(), pool.end(), random);
    pool.resize(static_cast<std::size_t>(count));
    std::sort(pool.begin(), pool.end());
    return pool;
  };
  switch (which) {
    case Pick::All:
      return sample(kSlots, 0, kSlots);
    case Pick::Scattered:
      return sample(1000, 1023, 3073);
    case Pick::Issue:
      return sample(1600, 0, 3072);
    case Pick::One:
      return {2048};
    case Pick::Two:
      return {1, kSlots - 2};
  }
  return {};
}

struct Edit {
  const char* name;
  CommandId id;
  Pick pick;
  int moveCount = 0;
};

const Edit kEdits[] = {
    {"SelectAll/Scattered", CommandId::SelectAll, Pick::Scattered},
    {"SelectNone/All", CommandId::SelectNone, Pick::All},
    {"CopyToOtherBank/All", CommandId::CopyToOtherBank, Pick::All},
    {"CopyToOtherBank/Scattered", CommandId::CopyToOtherBank, Pick::Scattered},
    {"Copy/All", CommandId::Copy, Pick::All},
    {"Paste/All", CommandId::Paste, Pick::All},
    {"Paste/Scattered", CommandId::Paste, Pick::Scattered},
    {"Swap/Two", CommandId::Swap, Pick::Two},
    {"Up/All", CommandId::UpBank0, Pick::All},
    {"Up/Scattered", CommandId::UpBank0, Pick::Scattered},
    {"Down/All", CommandId::DownBank0, Pick::All},
    {"Down/Scattered", CommandId::DownBank0, Pick::Scattered},
    {"MoveDown1023/All", CommandId::Move, Pick::All, 1023},
    {"MoveDown1023/Scattered", CommandId::Move, Pick::Scattered, 1023},
    {"MoveUp1023/Scattered", CommandId::Move, Pick::Scattered, -1023},
    {"MoveDown1023/Issue1600", CommandId::Move, Pick::Issue, 1023},
    {"Sort/All", CommandId::Sort, Pick::All},
    {"Sort/Scattered", CommandId::Sort, Pick::Scattered},
    {"Rename/One", CommandId::Rename, Pick::One},
};

struct AnsweringPrompts : CancellingPrompts {
  std::optional<int> moveCount() override { return count; }
  std::optional<std::string> rename(const std::string&) override { return "Renamed"; }
  int count = 0;
};

// A librarian of two 4,096-slot banks over `view`, both loaded from a .syx and named at random,
// with bank 1 on the clipboard; `restore` puts the banks back as they were.
class Session {
 public:
  explicit Session(BankView& view, const std::function<void(MainWindow&)>& attach) {
    writeBigInstrument(dir_);
    window_ = std::make_unique<MainWindow>(ProgramPaths{dir_.path + "/", "bench"},
                                           makeNullMidiBackend(), view, prompts, clock_);
    attach(*window_);
    window_->initWindow();
    const std::string file = dir_.file("bank.syx");
    ok_ = writeBank(file, kSlots);
    std::mt19937 random(42);
    for (int b = 0; b < 2; ++b) {
      window_->LoadSyxIntoBank(file, b);
      for (Patch& patch : window_->bank(b).slots) patch.setName(randomName(random, "AaBbCc"));
      saved_[b] = window_->bank(b).slots;
    }
    ok_ = ok_ && window_->bank(0).statusText == "4096 patches loaded.";
    view.setSelection(1, pick(Pick::All), std::nullopt);
    window_->setActiveBank(1);
    window_->onCommand(CommandId::Copy);
    window_->setActiveBank(0);
    view.setSelection(1, {}, std::nullopt);
  }
  bool ok() const { return ok_; }
  MainWindow& window() { return *window_; }
  void restore() {
    for (int b = 0; b < 2; ++b) window_->bank(b).slots = saved_[b];
  }

  AnsweringPrompts prompts;

 private:
  TempDir dir_;
  IdleClock clock_;
  std::unique_ptr<MainWindow> window_;
  std::vector<Patch> saved_[2];
  bool ok_ = false;
};

// Times the command alone, from a fresh copy of the banks and the edit's selection each time;
// `settle` is what the window does with what the command left (included in the time).
void runEdit(benchmark::State& state, Session& session, BankView& view, const Edit& edit,
             const std::function<void()>& settle) {
  if (!session.ok()) return state.SkipWithError("the bank did not load");
  const std::vector<int> rows = pick(edit.pick);
  session.prompts.count = edit.moveCount;
  for (auto _ : state) {
    session.restore();
    view.setSelection(0, rows, rows.back());
    view.setSelection(1, {}, std::nullopt);
    settle();
    const auto start = std::chrono::steady_clock::now();
    session.window().onCommand(edit.id);
    settle();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
  }
  state.counters["selected"] = static_cast<double>(rows.size());
}

void editOnLibrarian(benchmark::State& state, const Edit& edit) {
  SelectingView view;
  Session session(view, [&view](MainWindow& window) { view.rows = &window; });
  runEdit(state, session, view, edit, [] {});
}

void editInWindow(benchmark::State& state, const Edit& edit) {
  application();
  MainFrame frame;
  Session session(frame, [&frame](MainWindow& window) { frame.attach(window); });
  frame.show();
  QApplication::processEvents();
  runEdit(state, session, frame, edit, [&frame] {
    QApplication::processEvents();
    frame.repaint();
  });
  frame.detach();
}

[[maybe_unused]] const bool kRegistered = [] {
  for (const Edit& edit : kEdits) {
    benchmark::RegisterBenchmark((std::string("BM_Edit/") + edit.name).c_str(), editOnLibrarian,
                                 edit)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("BM_EditInWindow/") + edit.name).c_str(),
                                 editInWindow, edit)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
}  // namespace banklore::bench
