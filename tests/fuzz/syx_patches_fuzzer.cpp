// A raw .syx file cut into patches of one of the repository's instruments, as loading does: fixed
// pieces of PatchSize bytes read from the stream, each put into a patch. Invariants:
// - The pieces are the file, in order: every whole piece holds exactly its PatchSize bytes of the
//   file and only a last piece may be short.
// - loadBytes keeps the bytes as they came and judges them as matchesSendTemplate does.
// - A valid piece names a slot of the bank (banks being no larger than the whole), and stays
//   valid through what storing does to it: placed in any slot, stamped with any device, its
//   checksum renewed. Its name reads as NameLen printable characters.
#include <cstdio>

#include "core/patch.h"
#include "fuzz_support.h"
#include "instruments.h"
#include "platform/debug_log.h"

namespace banklore::fuzz {
namespace {

struct StreamCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace
}  // namespace banklore::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  banklore::SetLogPath("");
  banklore::fuzz::instruments();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace banklore;
  using namespace banklore::fuzz;
  if (size < 2) return 0;
  auto& all = instruments();
  InstrumentDefinition& d = *all[data[0] % all.size()];
  const int device = data[1];
  const std::span<const std::uint8_t> file(data + 2, size - 2);
  if (file.empty()) return 0;
  Bytes copy(file.begin(), file.end());  // fmemopen wants a writable buffer
  std::unique_ptr<std::FILE, StreamCloser> stream(::fmemopen(copy.data(), copy.size(), "rb"));
  FUZZ_CHECK(stream != nullptr);

  const auto patchSize = static_cast<std::size_t>(d.PatchSize());
  Patch piece(d);
  std::size_t offset = 0;
  for (;;) {
    const std::size_t got = piece.readFrom(stream.get());
    FUZZ_CHECK(got == std::min(patchSize, file.size() - offset));
    if (got == 0) break;
    const auto expected = file.subspan(offset, got);
    FUZZ_CHECK(std::equal(expected.begin(), expected.end(), piece.bytes().begin()));
    offset += got;
    if (got < patchSize) break;  // a short last piece: a wrong packet, and the end

    Patch patch(d);
    const bool valid = patch.loadBytes(expected);
    FUZZ_CHECK(std::equal(expected.begin(), expected.end(), patch.bytes().begin()));
    FUZZ_CHECK(valid == d.matchesSendTemplate(expected));
    FUZZ_CHECK(valid == piece.isValid());
    FUZZ_CHECK(patch.name().size() == static_cast<std::size_t>(d.NameLen()));
    if (!valid) continue;
    const std::int32_t slot = patch.patchNumber();
    if (d.NumPatchesPerBank() <= d.NumTotalPatches()) {
      FUZZ_CHECK_MSG(slot >= 0 && slot < d.NumTotalPatches(), d.InstrumentName());
    }
    const auto target = static_cast<std::int32_t>(offset / patchSize) % d.NumTotalPatches();
    patch.placeInSlot(target);
    patch.setDeviceId(device);
    patch.updateChecksum();
    FUZZ_CHECK_MSG(patch.isValid(), d.InstrumentName() + ": " + hex(patch.bytes()));
  }
  FUZZ_CHECK(offset == file.size());
  return 0;
}
