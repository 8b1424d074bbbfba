// Saving the selected slots of a bank as a raw SysEx file or a Standard MIDI File. The file is
// written beside its target and replaces it only when complete (in a folder the user cannot write,
// in place, its old bytes put back on failure), so a failed save (no folder, no permission, a full
// disk) leaves what was there and is reported, never shown as success. Slots
// without a valid patch are left out: an instrument would take their bytes for truncated patches,
// and other MIDI programs refuse a file holding them.
#include <cstdint>
#include <string>
#include <vector>

#include "app/bank_file_io.h"
#include "app/main_window.h"
#include "app/text_format.h"
#include "platform/debug_log.h"

namespace banklore {

namespace {

constexpr std::size_t kTextCapacity = 2048;

// The selected slots that hold a valid patch, and how many others were passed over.
struct SaveSelection {
  std::vector<int> slots;
  long skipped = 0;
};

SaveSelection selectionToSave(const std::vector<Patch>& bank, const std::vector<int>& selected) {
  SaveSelection selection;
  for (const int slot : selected) {
    if (bank[static_cast<std::size_t>(slot)].isValid()) {
      selection.slots.push_back(slot);
    } else {
      ++selection.skipped;
    }
  }
  return selection;
}

// "%ld patches saved." with the slots left out, worded as the send command words them.
std::string savedText(long saved, long skipped) {
  if (skipped == 0) return formatText(kTextCapacity, "%ld patches saved.", saved);
  return formatText(kTextCapacity, "%ld patches saved, %ld empty slot%s skipped.", saved, skipped,
                    skipped == 1 ? "" : "s");
}

// Only empty slots chosen: nothing is written, so no file is created and none replaced.
bool nothingToSave(const SaveSelection& selection) {
  if (!selection.slots.empty() || selection.skipped == 0) return false;
  WriteLog(LogPath(), "No valid patch among the selected slots; nothing was written\n");
  return true;
}

// Logs what became of the old file after a failed write; a text for the user when it may be
// damaged, else nothing.
std::string failedWriteNotice(const std::string& path, const BankFileWriting& written) {
  if (!written.oldContentLost) {
    WriteLog(LogPath(), "Writing %s failed; the file was left as it was\n", path.c_str());
    return {};
  }
  WriteLog(LogPath(), "Writing %s failed and its old contents could not be put back\n",
           path.c_str());
  return formatText(kTextCapacity,
                    "The old contents of %s could not be put back after the failed save: the "
                    "file may be damaged.",
                    path.c_str());
}

}  // namespace

void MainWindow::reportSaveFailure(int bank) {
  prompts_.message("Couldn't create file!");
  SetStatus(bank, "Couldn't save file.");
  SetStatus(bank, "%ld patches saved.", 0L);  // the text that stays
}

void MainWindow::saveSelection(const std::string& path, int bank, BankFormat format) {
  if (!validBank(bank)) {
    reportSaveFailure(bank);
    return;
  }
  const SaveSelection selection = selectionToSave(banks_[bank].slots, selectedSlots(bank));
  if (nothingToSave(selection)) {
    SetStatus(bank, "%s", savedText(0, selection.skipped).c_str());
    return;
  }
  std::vector<const Patch*> patches;
  for (const int slot : selection.slots) {
    Patch& patch = banks_[bank].slots[static_cast<std::size_t>(slot)];
    // The patch in memory keeps the number of the slot it was saved from.
    patch.placeInSlot(slot);
    patches.push_back(&patch);
  }
  const BankFileWriting written = writeBankPatches(path, format, patches);
  if (written.problem != BankWriteProblem::None) {
    const std::string damage = written.problem == BankWriteProblem::WriteFailed
                                   ? failedWriteNotice(path, written)
                                   : std::string();
    reportSaveFailure(bank);
    if (!damage.empty()) prompts_.message(damage);
    return;
  }
  // Empty slots count as saved too: the file holds them as absent, as a load leaves them.
  markSaved(bank, selectedSlots(bank));
  // A raw save sets no status text, unless slots were left out.
  if (format == BankFormat::Mid || selection.skipped > 0) {
    const auto saved = static_cast<long>(selection.slots.size());
    SetStatus(bank, "%s", savedText(saved, selection.skipped).c_str());
  }
  noteSlotsInArchive(bank, selection.slots, ArchiveAction::Saved, path);
}

void MainWindow::SaveSelectionAsSyx(const std::string& path, int bank) {
  WriteLog(LogPath(), "Saving selected slots from list %ld to file %s\n", static_cast<long>(bank),
           path.c_str());
  saveSelection(path, bank, BankFormat::Syx);
}

void MainWindow::SaveSelectionAsMid(const std::string& path, int bank) {
  WriteLog(LogPath(), "Saving selected slots from list %ld to midi file %s\n",
           static_cast<long>(bank), path.c_str());
  saveSelection(path, bank, BankFormat::Mid);
}

}  // namespace banklore
