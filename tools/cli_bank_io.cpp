#include "cli_bank_io.h"

#include <cerrno>
#include <cstring>
#include <span>

#include "files/midi_file.h"
#include "platform/atomic_file.h"
#include "platform/profile.h"
#include "platform/regular_file.h"

namespace banklore {
namespace {

constexpr int kTicksPerQuarter = 96;
// Two quarter notes at the default tempo: a second between patches when the file is played.
constexpr std::uint32_t kDeltaBetweenPatches = 192;

bool endsWith(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         equalsIgnoringCase(std::string_view(text).substr(text.size() - suffix.size()), suffix);
}

bool startsLikeMidiFile(std::FILE* file) {
  char magic[4] = {};
  const bool midi = std::fread(magic, 1, 4, file) == 4 && std::memcmp(magic, "MThd", 4) == 0;
  std::rewind(file);
  return midi;
}

class SlotFiller {
 public:
  SlotFiller(InstrumentDefinition& definition, std::vector<Patch>& bank, BankFileRead& read)
      : definition_(definition),
        bank_(bank),
        read_(read),
        filled_(bank.size(), false),
        namesSlot_(definition.sendTemplateNamesSlot()) {}

  // One message of the file: only its first PatchSize bytes count, as when the window loads it.
  void add(std::span<const std::uint8_t> message) {
    ++read_.packets;
    const auto size = static_cast<std::size_t>(definition_.PatchSize());
    if (message.size() < size || !definition_.matchesSendTemplate(message.first(size))) {
      ++read_.wrong;
      return;
    }
    const std::int64_t slot = namesSlot_ ? definition_.patchNumberOf(message) : nextUnnamed_++;
    if (slot < 0 || static_cast<std::size_t>(slot) >= bank_.size()) {
      ++read_.outside;
      return;
    }
    const auto at = static_cast<std::size_t>(slot);
    if (filled_[at]) ++read_.replaced;
    filled_[at] = true;
    bank_[at].loadBytes(message.first(size));
  }

  void finish() {
    for (std::size_t slot = 0; slot < filled_.size(); ++slot) {
      if (filled_[slot]) read_.slots.push_back(static_cast<int>(slot));
    }
  }

 private:
  InstrumentDefinition& definition_;
  std::vector<Patch>& bank_;
  BankFileRead& read_;
  std::vector<bool> filled_;
  bool namesSlot_;
  std::int64_t nextUnnamed_ = 0;
};

}  // namespace

std::optional<BankFormat> bankFormatOfName(const std::string& path) {
  if (endsWith(path, ".syx")) return BankFormat::Syx;
  if (endsWith(path, ".mid") || endsWith(path, ".midi")) return BankFormat::Mid;
  return std::nullopt;
}

std::string writeBankFile(const std::string& path, BankFormat format,
                          const std::vector<const Patch*>& patches) {
  AtomicFile file(path);
  if (!file.open()) return std::string("cannot create it (") + std::strerror(errno) + ")";
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
  if (!written || !file.commit()) {
    const int error = errno;
    file.discard();
    if (file.oldContentLost()) return "the write failed and the old file could not be put back";
    return std::string("the write failed (") + std::strerror(error) + "); the file is as it was";
  }
  return {};
}

BankFileRead readBankFile(const std::string& path, InstrumentDefinition& definition,
                          std::vector<Patch>& bank) {
  BankFileRead read;
  FileHandle file = openRegularForReading(path);
  if (!file) {
    read.error = std::string("cannot open it (") + std::strerror(errno) + ")";
    return read;
  }
  SlotFiller filler(definition, bank, read);
  if (startsLikeMidiFile(file.get())) {
    file.reset();
    MidiFileReader reader;
    if (!reader.Read(path) && !reader.damagedAfter()) {
      read.error = "not a readable Standard MIDI File";
      return read;
    }
    read.damagedAfter = reader.damagedAfter();
    for (int i = 0; const auto message = reader.message(i); ++i) filler.add(*message);
  } else {
    // Cut into PatchSize pieces, as the window loads it: a last piece cut short is a wrong one.
    std::vector<std::uint8_t> piece(static_cast<std::size_t>(definition.PatchSize()));
    while (!piece.empty()) {
      const std::size_t got = std::fread(piece.data(), 1, piece.size(), file.get());
      if (got == 0) break;
      filler.add(std::span(piece).first(got));
      if (got < piece.size()) break;
    }
    if (std::ferror(file.get())) {
      read = BankFileRead{};
      read.error = "read error";
      return read;
    }
  }
  filler.finish();
  return read;
}

}  // namespace banklore
