// The librarian on two 4,096-slot banks: rebuilding both lists, refreshing one row, and loading a
// .syx of 4,096 patches or a .mid of 4,096 messages into a bank (each patch stored in its slot).
#include "bench_support.h"

namespace banklore::bench {
namespace {

void BM_RebuildBanks4096(benchmark::State& state) {
  Librarian librarian;
  for (auto _ : state) librarian.window->RebuildBanks();
  state.SetItemsProcessed(state.iterations() * 2 * librarian.window->slotCount());
}
BENCHMARK(BM_RebuildBanks4096)->Unit(benchmark::kMillisecond);

void BM_RefreshRow(benchmark::State& state) {
  Librarian librarian;
  int slot = 0;
  for (auto _ : state) librarian.window->RefreshRow(1, slot = (slot + 977) % kSlots);
}
BENCHMARK(BM_RefreshRow);

void BM_LoadIntoBank4096(benchmark::State& state, const char* name,
                         void (MainWindow::*load)(const std::string&, int)) {
  Librarian librarian;
  const std::string path = librarian.dir.file(name);
  if (!writeBank(path, kSlots)) return state.SkipWithError("cannot write");
  for (auto _ : state) (*librarian.window.*load)(path, 0);
  if (librarian.window->bank(0).statusText != "4096 patches loaded.") state.SkipWithError("load");
  state.SetItemsProcessed(state.iterations() * kSlots);
}
BENCHMARK_CAPTURE(BM_LoadIntoBank4096, Syx, "bank.syx", &MainWindow::LoadSyxIntoBank)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadIntoBank4096, Mid, "bank.mid", &MainWindow::LoadMidIntoBank)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace banklore::bench
