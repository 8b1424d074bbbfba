// Loading bank files: raw SysEx files cut into PatchSize pieces and Standard MIDI Files of one
// patch per SysEx event, into the slots the patches name or into the selected slots in order.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/bank_file_io.h"
#include "app/main_window.h"
#include "platform/debug_log.h"

namespace banklore {

namespace {

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

bool MainWindow::loadBankFile(const std::string& path, int bank, BankFormat format,
                              bool intoSelection) {
  const std::vector<int> selection = intoSelection ? selectedSlots(bank) : std::vector<int>{};
  long loaded = 0;
  long wrong = 0;
  std::size_t next = 0;
  std::vector<std::vector<std::uint8_t>> seen;  // every patch of the file, for the archive
  const BankFileReading read =
      readBankPackets(path, format, *definition_, [&](const Patch* patch, bool cutShort) {
        // A short piece is reported even when no selected slot is left; whole packets beyond the
        // selection are neither stored nor counted.
        if (cutShort) {
          ++wrong;
          return false;
        }
        if (intoSelection && next >= selection.size()) return false;
        const int selected = intoSelection ? selection[next++] : -1;
        if (patch == nullptr) {
          ++wrong;  // a selected slot stays as it was
          return true;
        }
        seen.emplace_back(patch->bytes().begin(), patch->bytes().end());
        // Into the bank, counted also when the named slot lies outside it and nothing is stored.
        StoreToSlot(bank, intoSelection ? selected : patch->patchNumber(), *patch, true);
        ++loaded;
        return true;
      });
  // A MIDI file cut short still holds the whole patches before the damage.
  if (read.problem == BankReadProblem::CannotOpen || read.problem == BankReadProblem::NoMidiFile) {
    return false;
  }
  reportWrongPackets(loaded, wrong, read.damagedAfter);
  SetStatus(bank, "%ld patches loaded.", loaded);
  const std::vector<SeenSlot> archived(seen.begin(), seen.end());
  noteInArchive(bank, archived, ArchiveAction::Loaded, path);
  return true;
}

void MainWindow::LoadSyxIntoBank(const std::string& path, int bank) {
  WriteLog(LogPath(), "Loading %s into list %ld\n", path.c_str(), static_cast<long>(bank));
  if (!loadBankFile(path, bank, BankFormat::Syx, false)) {
    prompts_.message("Couldn't open file!");
    SetStatus(bank, "Couldn't load file.");
  }
}

void MainWindow::LoadMidIntoBank(const std::string& path, int bank) {
  WriteLog(LogPath(), "Loading %s from midi into list %ld\n", path.c_str(),
           static_cast<long>(bank));
  if (!loadBankFile(path, bank, BankFormat::Mid, false)) SetStatus(bank, "Couldn't load file.");
}

void MainWindow::LoadSyxIntoSelection(const std::string& path, int bank) {
  WriteLog(LogPath(), "Loading %s to selected slots from list %ld\n", path.c_str(),
           static_cast<long>(bank));
  if (!loadBankFile(path, bank, BankFormat::Syx, true)) {
    SetStatus(bank, "Couldn't open file.");
    prompts_.message("Couldn't open file!");
  }
}

void MainWindow::LoadMidIntoSelection(const std::string& path, int bank) {
  WriteLog(LogPath(), "Loading %s from midi into selected slots from list %ld\n", path.c_str(),
           static_cast<long>(bank));
  if (!loadBankFile(path, bank, BankFormat::Mid, true)) SetStatus(bank, "Couldn't load file.");
}

}  // namespace banklore
