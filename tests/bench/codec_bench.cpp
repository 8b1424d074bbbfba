// Speed of the codec on whole bank files: cutting a 256-patch .syx into patches, and the checksum
// and template work done per patch.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/instrument_definition.h"
#include "core/patch.h"
#include "core/sysex_template.h"

namespace banklore {
namespace {

constexpr int kPatchesPerFile = 256;

// The built-in definition (no file): 295-byte messages F0 00 20 29 01 21 <dev> 02 ... F7.
InstrumentDefinition& builtIn() {
  static InstrumentDefinition definition("/nonexistent/banklore-bench.idf", "Nova", nullptr);
  return definition;
}

std::vector<std::uint8_t> bankImage(const InstrumentDefinition& d) {
  std::vector<std::uint8_t> image;
  for (int i = 0; i < kPatchesPerFile; ++i) {
    std::vector<std::uint8_t> message(static_cast<std::size_t>(d.PatchSize()));
    for (std::size_t b = 0; b < message.size(); ++b)
      message[b] = static_cast<std::uint8_t>((b + i) & 0x7F);
    const std::vector<std::uint8_t> header = buildMessage(d.Send(), d.variables());
    std::copy(header.begin(), header.end(), message.begin());
    message.back() = 0xF7;
    image.insert(image.end(), message.begin(), message.end());
  }
  return image;
}

// One raw bank file, read back piece by piece as loading a bank does.
void BM_CutBankFileIntoPatches(benchmark::State& state) {
  InstrumentDefinition& d = builtIn();
  const std::vector<std::uint8_t> image = bankImage(d);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), std::fclose);
  if (!file || std::fwrite(image.data(), 1, image.size(), file.get()) != image.size()) {
    state.SkipWithError("cannot write the temporary bank file");
    return;
  }
  int valid = 0;
  for (auto _ : state) {
    std::rewind(file.get());
    valid = 0;
    Patch piece(d);
    while (piece.readFrom(file.get()) == piece.size()) {
      if (piece.isValid()) ++valid;
      benchmark::DoNotOptimize(piece.patchNumber());
    }
  }
  if (valid != kPatchesPerFile) state.SkipWithError("not every patch was valid");
  state.SetItemsProcessed(state.iterations() * kPatchesPerFile);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.size()));
  state.counters["patches/file"] = valid;
}
BENCHMARK(BM_CutBankFileIntoPatches)->Unit(benchmark::kMicrosecond);

// Placing every patch of a bank into its slot with a fresh checksum (the load-into-slot path).
void BM_RenumberAndChecksumBank(benchmark::State& state) {
  InstrumentDefinition& d = builtIn();
  const std::vector<std::uint8_t> image = bankImage(d);
  std::vector<std::unique_ptr<Patch>> bank;
  for (int i = 0; i < kPatchesPerFile; ++i) bank.push_back(std::make_unique<Patch>(d));
  for (auto _ : state) {
    for (int i = 0; i < kPatchesPerFile; ++i) {
      Patch& patch = *bank[static_cast<std::size_t>(i)];
      patch.loadBytes(std::span(image).subspan(static_cast<std::size_t>(i * d.PatchSize()),
                                               static_cast<std::size_t>(d.PatchSize())));
      patch.placeInSlot(i);
      patch.setDeviceId(1);
      patch.updateChecksum();
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kPatchesPerFile);
}
BENCHMARK(BM_RenumberAndChecksumBank)->Unit(benchmark::kMicrosecond);

void BM_ChecksumRule(benchmark::State& state, const char* type) {
  const InstrumentDefinition& d = builtIn();
  std::vector<std::uint8_t> message(static_cast<std::size_t>(d.PatchSize()), 0x0A);
  for (auto _ : state) benchmark::DoNotOptimize(d.computeChecksum(type, message));
}
BENCHMARK_CAPTURE(BM_ChecksumRule, AllDataBytes, "AllDataBytes");
BENCHMARK_CAPTURE(BM_ChecksumRule, Matrix1000, "Matrix-1000");
BENCHMARK_CAPTURE(BM_ChecksumRule, Range, "Range:8-100,120-200,250");

}  // namespace
}  // namespace banklore
