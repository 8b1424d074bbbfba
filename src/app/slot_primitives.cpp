// The slot primitives every bank edit rests on, and the row refresh. Every primitive that changes
// a slot marks it unsaved and notes it for undo first, so the commands built on them need not.
#include <cstdint>
#include <vector>

#include "app/main_window.h"

namespace banklore {

namespace {

// Device indices are taken modulo 256 before they reach the definition's 256-entry table.
int deviceIndexOf(int deviceId) {
  return ((deviceId % 256) + 256) % 256;
}

}  // namespace

void MainWindow::RefreshRow(int bank, int slot) {
  if (!validSlot(bank, slot)) return;
  view_.refreshRow(bank, slot);
}

void MainWindow::CopySlot(int sourceBank, int sourceSlot, int destinationBank, int destinationSlot,
                          bool refresh) {
  if (!validSlot(sourceBank, sourceSlot) || !validSlot(destinationBank, destinationSlot)) return;
  StoreToSlot(destinationBank, destinationSlot,
              banks_[sourceBank].slots[static_cast<std::size_t>(sourceSlot)], refresh);
}

void MainWindow::StoreToSlot(int bank, int slot, const Patch& patch, bool refresh) {
  if (!validSlot(bank, slot)) return;
  const UndoGroup step(*this, "Change");  // joins the user action's step when one is open
  noteSlotChanging(bank, slot);
  Patch& destination = banks_[bank].slots[static_cast<std::size_t>(slot)];
  if (&destination != &patch) {
    destination.loadBytes(patch.bytes());
  } else {
    // A slot stored onto itself still has its name normalised, from a copy of its own bytes.
    const std::vector<std::uint8_t> copy(patch.bytes().begin(), patch.bytes().end());
    destination.loadBytes(copy);
  }
  destination.placeInSlot(slot);
  destination.setDeviceId(deviceIndexOf(deviceId_));
  destination.updateChecksum();
  markUnsaved(bank, slot);
  if (refresh) RefreshRow(bank, slot);
}

void MainWindow::RenameSlot(int bank, int slot, const std::string& name, bool refresh) {
  if (!validSlot(bank, slot)) return;
  const UndoGroup step(*this, "Rename");
  noteSlotChanging(bank, slot);
  banks_[bank].slots[static_cast<std::size_t>(slot)].setName(name);
  markUnsaved(bank, slot);
  if (refresh) RefreshRow(bank, slot);
}

void MainWindow::LoadFromSlot(Patch& patch, int bank, int slot) const {
  if (!validSlot(bank, slot)) return;
  const Patch& source = banks_[bank].slots[static_cast<std::size_t>(slot)];
  if (&source == &patch) return;  // its bytes are already there
  patch.loadBytes(source.bytes());
}

}  // namespace banklore
