// The patch archive: recording a whole 4,096-patch bank in one call, as fetching or loading one
// does, and listing a section of 100,000 patches, as the archive window does on opening.
#include "archive/patch_archive.h"
#include "bench_support.h"

namespace banklore::bench {
namespace {

// `count` distinct patches of 392 bytes of data, numbered from `first`.
std::vector<SeenPatch> archiveBank(int first, int count) {
  std::vector<SeenPatch> patches;
  for (int n = first; n < first + count; ++n) {
    SeenPatch& patch = patches.emplace_back();
    patch.message = bankMessage(n % kSlots);
    // Three 7-bit bytes of the number first, so no two sounds are equal.
    for (int i = 0; i < 392; ++i)
      patch.sound.push_back(static_cast<std::uint8_t>((i < 3 ? n >> (7 * i) : n * 7 + i) & 0x7F));
    patch.name = "Patch " + std::to_string(n);
    patch.slot = "A" + std::to_string(n % kSlots);
  }
  return patches;
}

// Into a new archive file each time: 4,096 patches never seen before.
void BM_ArchiveRecord4096New(benchmark::State& state) {
  const std::vector<SeenPatch> bank = archiveBank(0, kSlots);
  TempDir dir;
  int round = 0;
  std::unique_ptr<PatchArchive> archive;
  for (auto _ : state) {
    // Closing copies the log back into the file: the window does that once, when it closes.
    state.PauseTiming();
    archive.reset();
    archive = PatchArchive::open(dir.file("new" + std::to_string(round++) + ".db")).archive;
    state.ResumeTiming();
    if (!archive || archive->record("Nova", bank, ArchiveAction::Fetched, "", round))
      return state.SkipWithError("the bank was not recorded");
  }
  state.SetItemsProcessed(state.iterations() * kSlots);
}
BENCHMARK(BM_ArchiveRecord4096New)->Unit(benchmark::kMillisecond);

// The same bank fetched again: every patch found and counted once more.
void BM_ArchiveRecord4096Again(benchmark::State& state) {
  const std::vector<SeenPatch> bank = archiveBank(0, kSlots);
  TempDir dir;
  const auto archive = PatchArchive::open(dir.file("again.db")).archive;
  std::int64_t time = 0;
  for (auto _ : state) {
    if (!archive || archive->record("Nova", bank, ArchiveAction::Fetched, "", ++time))
      return state.SkipWithError("the bank was not recorded");
  }
  state.SetItemsProcessed(state.iterations() * kSlots);
}
BENCHMARK(BM_ArchiveRecord4096Again)->Unit(benchmark::kMillisecond);

// Every patch of a section of 100,000 (beside another section as large), newest first; then only
// those whose name holds "99".
void BM_ArchiveEntries100000(benchmark::State& state) {
  constexpr int kPatches = 100'000;
  TempDir dir;
  const auto archive = PatchArchive::open(dir.file("big.db")).archive;
  for (int first = 0; archive && first < kPatches; first += kSlots) {
    const auto bank = archiveBank(first, std::min(kSlots, kPatches - first));
    for (const char* section : {"Nova", "Virus"})
      if (archive->record(section, bank, ArchiveAction::Loaded, "/b/bank.mid", first))
        return state.SkipWithError("the archive was not filled");
  }
  const std::string part = state.range(0) ? "99" : "";
  std::size_t expected = 0, listed = 0;
  for (int n = 0; n < kPatches; ++n) expected += std::to_string(n).find(part) != std::string::npos;
  for (auto _ : state) listed = archive ? archive->entries("Nova", part).size() : 0;
  if (listed != expected) state.SkipWithError("not every patch was listed");
  state.counters["listed"] = static_cast<double>(listed);
}
BENCHMARK(BM_ArchiveEntries100000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace banklore::bench
