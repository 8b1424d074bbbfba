// Reading whole bank files: a .mid of 4,096 dumps, and a 256-patch .syx cut into patches.
#include <cstdio>

#include "bench_support.h"
#include "core/patch.h"

namespace banklore::bench {
namespace {

void BM_ReadMid4096(benchmark::State& state) {
  TempDir dir;
  if (!writeBank(dir.file("bank.mid"), kSlots)) return state.SkipWithError("cannot write");
  for (auto _ : state) {
    MidiFileReader reader;
    if (!reader.Read(dir.file("bank.mid")) || reader.messageCount() != kSlots)
      return state.SkipWithError("the file did not read back whole");
  }
  state.SetItemsProcessed(state.iterations() * kSlots);
}
BENCHMARK(BM_ReadMid4096)->Unit(benchmark::kMillisecond);

// As loading a bank does: piece by piece, each checked against the built-in definition.
void BM_CutSyx256IntoPatches(benchmark::State& state) {
  TempDir dir;
  InstrumentDefinition definition(dir.file("none.idf"), "Nova", nullptr);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(nullptr, std::fclose);
  if (writeBank(dir.file("bank.syx"), 256))
    file.reset(std::fopen(dir.file("bank.syx").c_str(), "rb"));
  if (!file) return state.SkipWithError("cannot write");
  int valid = 0;
  for (auto _ : state) {
    std::rewind(file.get());
    valid = 0;
    Patch piece(definition);
    while (piece.readFrom(file.get()) == piece.size()) valid += piece.isValid();
  }
  if (valid != 256) state.SkipWithError("not every patch was valid");
  state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_CutSyx256IntoPatches)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace banklore::bench
