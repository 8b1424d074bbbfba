// Saving the selected slots of a bank as a raw SysEx file or a Standard MIDI File. The file is
// written beside its target and replaces it only when complete, so a failed save (no folder, no
// permission, a full disk) leaves what was there and is reported, never shown as success.
#include <cstdint>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "files/midi_file.h"
#include "platform/atomic_file.h"
#include "platform/debug_log.h"

namespace banklore {

namespace {

constexpr int kTicksPerQuarter = 96;
// Two quarter notes at the default tempo: one second between patches when the file is played.
constexpr std::uint32_t kDeltaBetweenPatches = 192;

}  // namespace

void MainWindow::reportSaveFailure(int bank) {
  prompts_.message("Couldn't create file!");
  SetStatus(bank, "Couldn't save file.");
  SetStatus(bank, "%ld patches saved.", 0L);  // the text that stays
}

void MainWindow::SaveSelectionAsSyx(const std::string& path, int bank) {
  WriteLog(LogPath(), "Saving selected slots from list %ld to file %s\n", static_cast<long>(bank),
           path.c_str());
  AtomicFile file(path);
  if (!validBank(bank) || !file.open()) {
    reportSaveFailure(bank);
    return;
  }
  bool written = true;
  for (const int slot : selectedSlots(bank)) {
    Patch& patch = banks_[bank].slots[static_cast<std::size_t>(slot)];
    // The patch in memory keeps the number of the slot it was saved from.
    patch.placeInSlot(slot);
    if (patch.writeTo(file.stream()) != patch.size()) {
      written = false;
      break;
    }
  }
  if (!written || !file.commit()) {
    WriteLog(LogPath(), "Writing %s failed; the file was left as it was\n", path.c_str());
    reportSaveFailure(bank);
    return;
  }
  markSaved(bank, selectedSlots(bank));
}

void MainWindow::SaveSelectionAsMid(const std::string& path, int bank) {
  WriteLog(LogPath(), "Saving selected slots from list %ld to midi file %s\n",
           static_cast<long>(bank), path.c_str());
  AtomicFile file(path);
  MidiFileWriter writer;
  if (!validBank(bank) || !file.open() || !writer.Open(file.stream(), kTicksPerQuarter)) {
    reportSaveFailure(bank);
    return;
  }
  bool written = true;
  long count = 0;
  for (const int slot : selectedSlots(bank)) {
    Patch& patch = banks_[bank].slots[static_cast<std::size_t>(slot)];
    patch.placeInSlot(slot);
    if (!writer.WriteSysEx(patch.bytes(), count == 0 ? 0 : kDeltaBetweenPatches)) {
      written = false;
      break;
    }
    ++count;
  }
  // Close writes End of Track and the track length into the stream; commit makes it the file.
  if (!writer.Close() || !written || !file.commit()) {
    WriteLog(LogPath(), "Writing %s failed; the file was left as it was\n", path.c_str());
    reportSaveFailure(bank);
    return;
  }
  markSaved(bank, selectedSlots(bank));
  SetStatus(bank, "%ld patches saved.", count);
}

}  // namespace banklore
