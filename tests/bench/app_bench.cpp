// Speed of the bank lists: rebuilding two 4,096-slot banks and refreshing one row, through a view
// that draws nothing but reads what a list model would read.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "midi/midi_backend.h"

namespace banklore {
namespace {

class NullView : public BankView {
 public:
  explicit NullView(const BankRows*& rows) : rows_(rows) {}
  void rebuildRows(int bank, int rowCount) override {
    // A list model reads every visible cell at least once; read them all, as a worst case.
    for (int i = 0; i < rowCount; ++i) readRow(bank, i);
  }
  void refreshRow(int bank, int row) override { readRow(bank, row); }
  std::vector<int> selectedRows(int) const override { return {}; }
  void setSelection(int, const std::vector<int>&, std::optional<int>) override {}
  void focusList(int) override {}
  void ensureRowVisible(int, int) override {}
  void setStatusText(int, const std::string&) override {}
  void setProgress(int, int, int) override {}
  void setWindowTitle(const std::string&) override {}
  WindowRect windowRect() const override { return {}; }
  void setWindowRect(const WindowRect&) override {}
  void endRun() override {}

 private:
  void readRow(int bank, int row) {
    if (rows_ == nullptr) return;
    std::string label = rows_->label(bank, row);
    std::string name = rows_->name(bank, row);
    benchmark::DoNotOptimize(label);
    benchmark::DoNotOptimize(name);
  }
  const BankRows*& rows_;
};

class NullPrompts : public Prompts {
 public:
  void message(const std::string&) override {}
  bool askYesNo(const std::string&) override { return false; }
  std::optional<std::string> openFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<std::string> saveFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<int> moveCount() override { return std::nullopt; }
  std::optional<std::string> rename(const std::string&) override { return std::nullopt; }
  bool setup(SetupValues&) override { return false; }
  bool chooseInstrument(const std::string&, const std::string&) override { return false; }
  void about() override {}
};

class IdleClock : public UiClock {
 public:
  std::uint32_t nowMs() const override { return 0; }
  void startTimer(int, std::uint32_t, bool, std::function<void()>) override {}
  void stopTimer(int) override {}
  void postToUiThread(std::function<void()>) override {}
};

class NoPorts : public MidiBackend {
 public:
  std::vector<std::string> inputNames() override { return {}; }
  std::vector<std::string> outputNames() override { return {}; }
  bool openInput(std::size_t, InputHandler, ErrorHandler) override { return false; }
  void closeInput() override {}
  bool openOutput(std::size_t) override { return false; }
  void closeOutput() override {}
  bool isOutputOpen() const override { return false; }
  bool send(std::span<const std::uint8_t>) override { return false; }
};

// A librarian whose instrument has 4,096 slots of the built-in patch size, in a folder of its own.
struct BigLibrarian {
  BigLibrarian() : view(rows) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "banklore_app_bench";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "bench.idf") << "[Big]\nNumTotalPatches=4096\nNumPatchesPerBank=128\n"
                                        "BankNames=A,B,C,D,E,F,G,H,I,J,K,L,M,N,O,P,Q,R,S,T,U,V,"
                                        "W,X,Y,Z,a,b,c,d,e,f\n";
    std::ofstream(dir / "bench.ini") << "[General]\nInstrument=Big\n";
    window = std::make_unique<MainWindow>(ProgramPaths{dir.string() + "/", "bench"},
                                          std::make_unique<NoPorts>(), view, prompts, clock);
    rows = window.get();
    window->initWindow();
  }
  const BankRows* rows = nullptr;
  NullView view;
  NullPrompts prompts;
  IdleClock clock;
  std::unique_ptr<MainWindow> window;
};

void BM_RebuildBanks4096(benchmark::State& state) {
  BigLibrarian librarian;
  for (auto _ : state) librarian.window->RebuildBanks();
  state.SetItemsProcessed(state.iterations() * 2 * librarian.window->slotCount());
}
BENCHMARK(BM_RebuildBanks4096)->Unit(benchmark::kMillisecond);

void BM_RefreshRow(benchmark::State& state) {
  BigLibrarian librarian;
  int slot = 0;
  for (auto _ : state) {
    librarian.window->RefreshRow(1, slot);
    slot = (slot + 977) % 4096;
  }
}
BENCHMARK(BM_RefreshRow);

void BM_CopySlot(benchmark::State& state) {
  BigLibrarian librarian;
  int slot = 0;
  for (auto _ : state) {
    librarian.window->CopySlot(0, slot, 1, 4095 - slot, true);
    slot = (slot + 977) % 4096;
  }
}
BENCHMARK(BM_CopySlot);

}  // namespace
}  // namespace banklore
