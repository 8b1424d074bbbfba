#include "app/bank_file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>

#include "files/midi_file.h"
#include "platform/atomic_file.h"
#include "platform/regular_file.h"

namespace banklore {
namespace {

constexpr int kTicksPerQuarter = 96;
// Two quarter notes at the default tempo: one second between patches when the file is played.
constexpr std::uint32_t kDeltaBetweenPatches = 192;

bool startsLikeMidiFile(std::FILE* file) {
  char magic[4] = {};
  const bool midi = std::fread(magic, 1, 4, file) == 4 && std::memcmp(magic, "MThd", 4) == 0;
  std::rewind(file);
  return midi;
}

BankFileReading readMidiPackets(const std::string& path, Patch& patch,
                                const BankPacketSink& take) {
  MidiFileReader reader;
  if (!reader.Read(path) && !reader.damagedAfter()) return {.problem = BankReadProblem::NoMidiFile};
  for (int i = 0; const auto message = reader.message(i); ++i) {
    // Only a message's first PatchSize bytes count; a shorter one never passes.
    const bool whole = message->size() >= patch.size();
    if (!take(whole && patch.loadBytes(message->first(patch.size())) ? &patch : nullptr, false)) {
      break;
    }
  }
  return {.damagedAfter = reader.damagedAfter()};
}

// A read error ends the file like a short last piece, so the caller sees that something was wrong.
BankFileReading readRawPackets(std::FILE* file, Patch& patch, const BankPacketSink& take) {
  while (patch.size() > 0) {
    const std::size_t got = patch.readFrom(file);
    if (got == 0 && !std::ferror(file)) break;
    const bool whole = got == patch.size();
    if (!take(whole && patch.isValid() ? &patch : nullptr, !whole) || !whole) break;
  }
  if (std::ferror(file)) return {.problem = BankReadProblem::ReadError};
  return {};
}

}  // namespace

BankFileReading readBankPackets(const std::string& path, std::optional<BankFormat> format,
                                InstrumentDefinition& definition, const BankPacketSink& take) {
  // Only a regular file, opened without waiting: a FIFO would block for good, and a folder or
  // device holds no bytes to load.
  FileHandle file = openRegularForReading(path);
  if (!file) return {.problem = BankReadProblem::CannotOpen, .error = errno};
  Patch patch(definition);
  if (format ? *format == BankFormat::Mid : startsLikeMidiFile(file.get())) {
    file.reset();
    return readMidiPackets(path, patch, take);
  }
  return readRawPackets(file.get(), patch, take);
}

BankFileWriting writeBankPatches(const std::string& path, BankFormat format,
                                 const std::vector<const Patch*>& patches) {
  AtomicFile file(path);
  if (!file.open()) return {.problem = BankWriteProblem::CannotCreate, .error = errno};
  bool written = true;
  if (format == BankFormat::Syx) {
    for (const Patch* patch : patches) {
      if (patch->writeTo(file.stream()) != patch->size()) {
        written = false;
        break;
      }
    }
  } else {
    MidiFileWriter writer;
    written = writer.Open(file.stream(), kTicksPerQuarter);
    for (std::size_t i = 0; written && i < patches.size(); ++i) {
      written = writer.WriteSysEx(patches[i]->bytes(), i == 0 ? 0 : kDeltaBetweenPatches);
    }
    // Close writes End of Track and the track length; it fails when any write before it did.
    written = writer.Close() && written;
  }
  if (written && file.commit()) return {};
  const int error = errno;
  file.discard();
  return {BankWriteProblem::WriteFailed, error, file.oldContentLost()};
}

}  // namespace banklore
