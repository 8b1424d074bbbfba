// Audition in the window: a double-click, Ctrl+P or the context menu plays one slot's patch in
// the instrument's edit buffer, and with "Play the selected patch" the slot the cursor rests on
// plays by itself. Nothing here changes a bank.
#include <string>

#include "app/main_window.h"
#include "platform/debug_log.h"

namespace banklore {

bool MainWindow::canAudition() const {
  return definition_ && !definition_->Audition().empty();
}

std::string MainWindow::auditionUnavailableText() const {
  return "The definition of " + (definition_ ? definition_->InstrumentName() : std::string()) +
         " has no Audition key: its patches cannot be played in the edit buffer.";
}

void MainWindow::auditionSelection() {
  const std::vector<int> slots = selectedSlots(activeBank_);
  if (slots.size() == 1) auditionSlot(activeBank_, slots.front());
}

void MainWindow::onListDoubleClicked(int bank, int row) {
  // The clicks before it have made the bank active and ended a request.
  if (sending() || request().requestActive || !validSlot(bank, row)) return;
  activeBank_ = bank;
  audition_->cancel();  // the click before it moved the cursor here: play once
  auditionSlot(bank, row);
}

void MainWindow::onCursorMoved(int bank, int row) {
  if (!playSelected_ || !canAudition() || !validSlot(bank, row)) {
    audition_->cancel();
    return;
  }
  // Only where the cursor stops is heard: each move starts the wait again.
  audition_->playWhenRested([this, bank, row] {
    if (!sending() && !request().requestActive && validSlot(bank, row)) auditionSlot(bank, row);
  });
}

void MainWindow::auditionSlot(int bank, int slot) {
  if (!canAudition()) {
    SetStatus(bank, "%s", auditionUnavailableText().c_str());
    return;
  }
  const Patch& patch = banks_[bank].slots[static_cast<std::size_t>(slot)];
  const std::string label = definition_->patchLabel(slot);
  std::string name = patch.name();
  name.erase(name.find_last_not_of(' ') + 1);
  WriteLog(LogPath(), "Auditioning %s\n", label.c_str());
  switch (AuditionPlayer::play(*definition_, midiPort_, patch, slot, deviceId_)) {
    case AuditionPlayer::Outcome::Played:
      SetStatus(bank, "Playing %s %s in the edit buffer.", label.c_str(), name.c_str());
      return;
    case AuditionPlayer::Outcome::NoPatch:
      SetStatus(bank, "%s holds no valid patch: nothing was played.", label.c_str());
      return;
    case AuditionPlayer::Outcome::NotSent:
      SetStatus(bank, "Could not play %s %s: the MIDI output did not take it.", label.c_str(),
                name.c_str());
      return;
    case AuditionPlayer::Outcome::NoAudition:
      SetStatus(bank, "%s", auditionUnavailableText().c_str());
      return;
  }
}

}  // namespace banklore
