// The additions on 4,096 slots: filtering a list as the user types into its find box (in the real
// window, offscreen, with the repaint), and undoing and redoing a sort of the whole bank (on the
// librarian alone and in the window). And the archive window's find box over 100,000 patches: the
// filter alone, and in the dialog with its repaint.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <functional>
#include <numeric>
#include <random>
#include <string>

#include "bench_support.h"
#include "qt_application.h"
#include "ui/archive_dialog.h"
#include "ui/main_frame.h"

namespace banklore::bench {
namespace {

// A librarian of two 4,096-slot banks over `view`, bank 0 loaded from a .syx and named at random.
class Bank4096 {
 public:
  Bank4096(BankView& view, const std::function<void(MainWindow&)>& attach) {
    writeBigInstrument(dir_);
    window_ = std::make_unique<MainWindow>(ProgramPaths{dir_.path + "/", "bench"},
                                           makeNullMidiBackend(), view, prompts_, clock_);
    attach(*window_);
    window_->initWindow();
    const std::string file = dir_.file("bank.syx");
    ok_ = writeBank(file, kSlots);
    window_->LoadSyxIntoBank(file, 0);
    std::mt19937 random(42);
    for (Patch& patch : window_->bank(0).slots) patch.setName(randomName(random, "AaBbCcDd"));
    ok_ = ok_ && window_->bank(0).statusText == "4096 patches loaded.";
  }
  bool ok() const { return ok_; }
  MainWindow& window() { return *window_; }

 private:
  TempDir dir_;
  CancellingPrompts prompts_;
  IdleClock clock_;
  std::unique_ptr<MainWindow> window_;
  bool ok_ = false;
};

std::vector<int> everySlot() {
  std::vector<int> all(kSlots);
  std::iota(all.begin(), all.end(), 0);
  return all;
}

// Each iteration is one key: the letters of "aBcD" typed one after the other (each narrows the
// rows shown), then the box emptied (every row shown again), and over.
void BM_FindAsYouType4096(benchmark::State& state) {
  application();
  MainFrame frame;
  Bank4096 bank(frame, [&frame](MainWindow& window) { frame.attach(window); });
  if (!bank.ok()) return state.SkipWithError("the bank did not load");
  frame.show();
  frame.panel().showFindBox(0);
  FindBox& box = frame.panel().findBox(0);
  QApplication::processEvents();
  const QString word = QStringLiteral("aBcD");
  int typed = 0;
  double slowest = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (typed < word.size()) {
      box.insert(word.mid(typed++, 1));
    } else {
      box.clear();
      typed = 0;
    }
    QApplication::processEvents();
    frame.repaint();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    slowest = std::max(slowest, took.count());
  }
  state.counters["slowest_ms"] = slowest * 1000;
  frame.detach();
}
BENCHMARK(BM_FindAsYouType4096)->UseManualTime()->Unit(benchmark::kMillisecond);

// Sorts all 4,096 slots once, then times undo and redo of that sort in turn; `settle` is what
// the window does with what they left.
void runUndoSort(benchmark::State& state, BankView& view, Bank4096& bank,
                 const std::function<void()>& settle) {
  if (!bank.ok()) return state.SkipWithError("the bank did not load");
  view.setSelection(0, everySlot(), kSlots - 1);
  bank.window().onCommand(CommandId::Sort);
  const UndoStep* sort = bank.window().undoHistory().nextUndo();
  if (!sort || sort->what != "Sort") return state.SkipWithError("no step");
  const std::size_t slots = sort->changes.size();
  settle();
  bool undo = true;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    bank.window().onCommand(undo ? CommandId::Undo : CommandId::Redo);
    settle();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    undo = !undo;
  }
  state.counters["slots"] = static_cast<double>(slots);
  state.counters["MiB"] = static_cast<double>(bank.window().undoHistory().bytes()) / (1 << 20);
}

void BM_UndoRedoSort4096(benchmark::State& state) {
  SelectingView view;
  Bank4096 bank(view, [&view](MainWindow& window) { view.rows = &window; });
  runUndoSort(state, view, bank, [] {});
}
BENCHMARK(BM_UndoRedoSort4096)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_UndoRedoSort4096InWindow(benchmark::State& state) {
  application();
  MainFrame frame;
  Bank4096 bank(frame, [&frame](MainWindow& window) { frame.attach(window); });
  frame.show();
  QApplication::processEvents();
  runUndoSort(state, frame, bank, [&frame] {
    QApplication::processEvents();
    frame.repaint();
  });
  frame.detach();
}
BENCHMARK(BM_UndoRedoSort4096InWindow)->UseManualTime()->Unit(benchmark::kMillisecond);

constexpr std::size_t kArchived = 100000;

// An archive of 100,000 patches named at random, 16 letters each.
struct BigArchive : ArchiveBrowser {
  BigArchive() {
    std::mt19937 random(42);
    held.resize(kArchived);
    for (ArchiveEntry& entry : held) {
      entry.id = static_cast<std::int64_t>(&entry - held.data());
      entry.name = randomName(random, "AaBbCcDdEeFf ") + randomName(random, "AaBbCcDdEeFf ");
      entry.lastSeen = 1796652125 - entry.id;
      entry.lastEvent = "fetched from A005";
    }
  }
  std::vector<ArchiveEntry> entries() override { return held; }
  std::vector<ArchiveEvent> history(std::int64_t) override { return {}; }
  void loadToSelectedSlots(const std::vector<std::int64_t>&) override {}
  void saveToFile(const std::vector<std::int64_t>&) override {}
  std::vector<ArchiveEntry> held;
};

// One iteration per key, as in BM_FindAsYouType4096: "aBcD" a letter at a time, then emptied.
void typeKeys(benchmark::State& state, const std::function<void(const QString&)>& show) {
  const QString word = QStringLiteral("aBcD");
  int typed = 0;
  double slowest = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    typed = typed < word.size() ? typed + 1 : 0;
    show(word.left(typed));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    slowest = std::max(slowest, took.count());
  }
  state.counters["slowest_ms"] = slowest * 1000;
}

void BM_ArchiveFind100000(benchmark::State& state) {
  const BigArchive archive;
  std::size_t shown = 0;
  typeKeys(state, [&](const QString& filter) {
    shown = matchingEntries(archive.held, filter.toStdString()).size();
    benchmark::DoNotOptimize(shown);
  });
}
BENCHMARK(BM_ArchiveFind100000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ArchiveFind100000InDialog(benchmark::State& state) {
  application();
  BigArchive archive;
  ArchiveDialog dialog(archive);
  dialog.show();
  QApplication::processEvents();
  typeKeys(state, [&](const QString& filter) {
    dialog.findBox().setText(filter);
    QApplication::processEvents();
    dialog.repaint();
  });
}
BENCHMARK(BM_ArchiveFind100000InDialog)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace banklore::bench
