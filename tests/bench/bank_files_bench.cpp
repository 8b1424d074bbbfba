// Speed of the bank-file operations on a 4,096-slot bank: loading a .syx of 4,096 patches and a
// .mid of 4,096 messages (each patch stored, renumbered, checksummed and its row re-read), and
// saving all 4,096 slots in either format, through a view that draws nothing.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "files/midi_file.h"
#include "midi/midi_backend.h"

namespace banklore {
namespace {

constexpr int kSlots = 4096;

class AllSelectedView : public BankView {
 public:
  explicit AllSelectedView(const BankRows*& rows) : rows_(rows) {}
  void rebuildRows(int, int) override {}
  void refreshRow(int bank, int row) override {
    // What a list model re-reads for a redrawn row.
    if (rows_ == nullptr) return;
    std::string name = rows_->name(bank, row);
    std::string label = rows_->label(bank, row);
    benchmark::DoNotOptimize(name);
    benchmark::DoNotOptimize(label);
  }
  std::vector<int> selectedRows(int) const override {
    std::vector<int> all(kSlots);
    for (int i = 0; i < kSlots; ++i) all[static_cast<std::size_t>(i)] = i;
    return all;
  }
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
  const BankRows*& rows_;
};

class SilentPrompts : public Prompts {
 public:
  void message(const std::string&) override { ++messages; }
  bool askYesNo(const std::string&) override { return true; }
  std::optional<std::string> openFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<std::string> saveFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<int> moveCount() override { return std::nullopt; }
  std::optional<std::string> rename(const std::string&) override { return std::nullopt; }
  bool setup(SetupValues&) override { return false; }
  bool chooseInstrument(const std::string&, const std::string&) override { return false; }
  void about() override {}
  int messages = 0;
};

class StillClock : public UiClock {
 public:
  std::uint32_t nowMs() const override { return 0; }
  void startTimer(int, std::uint32_t, bool, std::function<void()>) override {}
  void stopTimer(int) override {}
  void postToUiThread(std::function<void()>) override {}
};

class Unplugged : public MidiBackend {
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

// 4,096 slots of 297-byte program dumps whose header names bank and program, and the two files of
// one patch per slot beside the program.
struct FileLibrarian {
  FileLibrarian() : view(rows) {
    dir = (std::filesystem::temp_directory_path() / "banklore_bank_files_bench").string() + "/";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "bench.idf") << "[Big]\nNumTotalPatches=4096\nNumPatchesPerBank=128\n"
                                        "BankOffset=0\nSend=f0,00,20,29,01,21,u1,02,t1,s1\n"
                                        "NamePos=0\n";
    std::ofstream(dir + "bench.ini") << "[General]\nInstrument=Big\n";
    window = std::make_unique<MainWindow>(ProgramPaths{dir, "bench"}, std::make_unique<Unplugged>(),
                                          view, prompts, clock);
    rows = window.get();
    window->initWindow();

    std::ofstream syx(dir + "bank.syx", std::ios::binary);
    MidiFileWriter mid;
    mid.Open(dir + "bank.mid", 96);
    for (int slot = 0; slot < kSlots; ++slot) {
      std::vector<std::uint8_t> bytes = {0xF0,
                                         0x00,
                                         0x20,
                                         0x29,
                                         0x01,
                                         0x21,
                                         0x00,
                                         0x02,
                                         static_cast<std::uint8_t>(slot / 128),
                                         static_cast<std::uint8_t>(slot % 128)};
      while (bytes.size() < 296)
        bytes.push_back(static_cast<std::uint8_t>((slot + bytes.size()) & 0x7F));
      bytes.push_back(0xF7);
      syx.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
      mid.WriteSysEx(bytes, slot == 0 ? 0 : 192);
    }
    mid.Close();
  }
  std::string dir;
  const BankRows* rows = nullptr;
  AllSelectedView view;
  SilentPrompts prompts;
  StillClock clock;
  std::unique_ptr<MainWindow> window;
};

void BM_LoadSyxIntoBank4096(benchmark::State& state) {
  FileLibrarian librarian;
  for (auto _ : state) librarian.window->LoadSyxIntoBank(librarian.dir + "bank.syx", 0);
  if (librarian.window->bank(0).statusText != "4096 patches loaded.") state.SkipWithError("load");
  state.SetItemsProcessed(state.iterations() * kSlots);
}
BENCHMARK(BM_LoadSyxIntoBank4096)->Unit(benchmark::kMillisecond);

void BM_LoadMidIntoBank4096(benchmark::State& state) {
  FileLibrarian librarian;
  for (auto _ : state) librarian.window->LoadMidIntoBank(librarian.dir + "bank.mid", 0);
  if (librarian.window->bank(0).statusText != "4096 patches loaded.") state.SkipWithError("load");
  state.SetItemsProcessed(state.iterations() * kSlots);
}
BENCHMARK(BM_LoadMidIntoBank4096)->Unit(benchmark::kMillisecond);

void BM_SaveSelectionAsSyx4096(benchmark::State& state) {
  FileLibrarian librarian;
  for (auto _ : state) librarian.window->SaveSelectionAsSyx(librarian.dir + "out.syx", 0);
  if (librarian.prompts.messages != 0) state.SkipWithError("save");
  state.SetItemsProcessed(state.iterations() * kSlots);
}
BENCHMARK(BM_SaveSelectionAsSyx4096)->Unit(benchmark::kMillisecond);

void BM_SaveSelectionAsMid4096(benchmark::State& state) {
  FileLibrarian librarian;
  for (auto _ : state) librarian.window->SaveSelectionAsMid(librarian.dir + "out.mid", 0);
  if (librarian.window->bank(0).statusText != "4096 patches saved.") state.SkipWithError("save");
  state.SetItemsProcessed(state.iterations() * kSlots);
}
BENCHMARK(BM_SaveSelectionAsMid4096)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace banklore
