// Loading bank files: raw SysEx files cut into PatchSize pieces and Standard MIDI Files of one
// patch per SysEx event, into the slots the patches name or into the selected slots in order.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "files/midi_file.h"
#include "platform/debug_log.h"
#include "platform/regular_file.h"

namespace banklore {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Only a regular file is opened, and without waiting: a FIFO would block the window for good, and
// a folder or device holds no bytes to load. Anything else counts as a file that cannot be opened.
File openForReading(const std::string& path) {
  return File(openRegularForReading(path).release());
}

enum class Piece { End, Short, Whole };

// Reads the next PatchSize bytes of a raw file into the patch. The file is cut at fixed offsets,
// never searched for F0 or F7, so a file made for another patch size reads as wrong packets. A
// read error ends the file like a short last piece, so the user is told that something was wrong.
Piece readPiece(Patch& patch, std::FILE* file) {
  if (patch.size() == 0) return Piece::End;
  const std::size_t got = patch.readFrom(file);
  if (got == patch.size()) return Piece::Whole;
  if (got == 0 && !std::ferror(file)) return Piece::End;
  return Piece::Short;
}

// Puts a MIDI file message into the patch; a message shorter than a patch never passes, and no
// more than its own bytes are read.
bool loadMessage(Patch& patch, std::span<const std::uint8_t> message) {
  if (message.size() < patch.size()) return false;
  return patch.loadBytes(message.first(patch.size()));
}

// "37,881": byte offsets of whole banks are long numbers.
std::string withThousands(std::uint64_t number) {
  std::string digits = std::to_string(number);
  for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), 1, ',');
  }
  return digits;
}

}  // namespace

void MainWindow::reportWrongPackets(long loaded, long wrong,
                                    std::optional<std::uint64_t> damagedAfter) {
  if (wrong <= 0 && !damagedAfter) return;
  char text[256];
  if (!damagedAfter) {
    std::snprintf(text, sizeof text, "Found %ld matching packets, %ld wrong packets.", loaded,
                  wrong);
  } else if (wrong <= 0) {
    std::snprintf(text, sizeof text,
                  "Found %ld matching packets; the file is damaged after byte %s.", loaded,
                  withThousands(*damagedAfter).c_str());
  } else {
    std::snprintf(
        text, sizeof text,
        "Found %ld matching packets, %ld wrong packets; the file is damaged after byte %s.", loaded,
        wrong, withThousands(*damagedAfter).c_str());
  }
  prompts_.message(text);
}

void MainWindow::LoadSyxIntoBank(const std::string& path, int bank) {
  WriteLog(LogPath(), "Loading %s into list %ld\n", path.c_str(), static_cast<long>(bank));
  const File file = openForReading(path);
  if (!file) {
    prompts_.message("Couldn't open file!");
    SetStatus(bank, "Couldn't load file.");
    return;
  }
  Patch piece(*definition_);
  long loaded = 0;
  long wrong = 0;
  for (;;) {
    const Piece read = readPiece(piece, file.get());
    if (read == Piece::End) break;
    if (read == Piece::Short) {
      ++wrong;
      break;
    }
    if (piece.isValid()) {
      // Counted also when the named slot lies outside the bank and nothing is stored.
      StoreToSlot(bank, piece.patchNumber(), piece, true);
      ++loaded;
    } else {
      ++wrong;
    }
  }
  reportWrongPackets(loaded, wrong);
  SetStatus(bank, "%ld patches loaded.", loaded);
}

void MainWindow::LoadMidIntoBank(const std::string& path, int bank) {
  WriteLog(LogPath(), "Loading %s from midi into list %ld\n", path.c_str(),
           static_cast<long>(bank));
  MidiFileReader reader;
  // A file cut short still holds the whole patches before the damage.
  if (!reader.Read(path) && !reader.damagedAfter()) {
    SetStatus(bank, "Couldn't load file.");
    return;
  }
  long loaded = 0;
  long wrong = 0;
  Patch patch(*definition_);
  for (int index = 0; const auto message = reader.message(index); ++index) {
    if (loadMessage(patch, *message)) {
      StoreToSlot(bank, patch.patchNumber(), patch, true);
      ++loaded;
    } else {
      ++wrong;
    }
  }
  reportWrongPackets(loaded, wrong, reader.damagedAfter());
  SetStatus(bank, "%ld patches loaded.", loaded);
}

void MainWindow::LoadSyxIntoSelection(const std::string& path, int bank) {
  WriteLog(LogPath(), "Loading %s to selected slots from list %ld\n", path.c_str(),
           static_cast<long>(bank));
  const File file = openForReading(path);
  if (!file) {
    SetStatus(bank, "Couldn't open file.");
    prompts_.message("Couldn't open file!");
    return;
  }
  const std::vector<int> selection = selectedSlots(bank);
  Patch piece(*definition_);
  long loaded = 0;
  long wrong = 0;
  for (std::size_t next = 0;; ++next) {
    // The piece is read before a slot is looked for, so a short piece is reported even when no
    // selected slot is left; whole pieces beyond the selection are neither stored nor counted.
    const Piece read = readPiece(piece, file.get());
    if (read == Piece::End) break;
    if (read == Piece::Short) {
      ++wrong;
      break;
    }
    if (next >= selection.size()) break;
    if (piece.isValid()) {
      StoreToSlot(bank, selection[next], piece, true);
      ++loaded;
    } else {
      ++wrong;  // this selected slot stays as it was
    }
  }
  reportWrongPackets(loaded, wrong);
  SetStatus(bank, "%ld patches loaded.", loaded);
}

void MainWindow::LoadMidIntoSelection(const std::string& path, int bank) {
  WriteLog(LogPath(), "Loading %s from midi into selected slots from list %ld\n", path.c_str(),
           static_cast<long>(bank));
  MidiFileReader reader;
  if (!reader.Read(path) && !reader.damagedAfter()) {
    SetStatus(bank, "Couldn't load file.");
    return;
  }
  const std::vector<int> selection = selectedSlots(bank);
  Patch patch(*definition_);
  long loaded = 0;
  long wrong = 0;
  int index = 0;
  for (const int slot : selection) {
    const auto message = reader.message(index++);
    if (!message) break;
    if (loadMessage(patch, *message)) {
      StoreToSlot(bank, slot, patch, true);
      ++loaded;
    } else {
      ++wrong;
    }
  }
  reportWrongPackets(loaded, wrong, reader.damagedAfter());
  SetStatus(bank, "%ld patches loaded.", loaded);
}

}  // namespace banklore
