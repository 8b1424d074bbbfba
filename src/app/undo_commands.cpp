// Undo and redo of the window: where the steps are opened and closed, how a step goes back into the
// banks, and the "Edit" menu that names them.
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "platform/debug_log.h"

namespace banklore {

MainWindow::UndoGroup::UndoGroup(MainWindow& window, std::string_view what) : window_(window) {
  window_.history_.begin(what);
}

MainWindow::UndoGroup::~UndoGroup() {
  // Only the outermost group reads the slots; the others (one per primitive) just close.
  window_.history_.end(window_.history_.closing() ? window_.slotReader()
                                                  : UndoHistory::SlotReader());
}

UndoHistory::SlotReader MainWindow::slotReader() const {
  return [this](int bank, int slot) {
    if (!validSlot(bank, slot)) return UndoHistory::SlotState{};
    const auto index = static_cast<std::size_t>(slot);
    const Bank& source = banks_[bank];
    return UndoHistory::SlotState{source.slots[index].bytes(),
                                  index < source.unsaved.size() && source.unsaved[index]};
  };
}

void MainWindow::noteSlotChanging(int bank, int slot) {
  if (!history_.recording() || !validSlot(bank, slot)) return;
  const auto index = static_cast<std::size_t>(slot);
  const Bank& target = banks_[bank];
  history_.noteBefore(
      bank, slot,
      {target.slots[index].bytes(), index < target.unsaved.size() && target.unsaved[index]});
}

void MainWindow::openRequestStep(int bank) {
  if (!validBank(bank) || requestStepOpen_) return;
  const std::vector<Patch>& slots = banks_[bank].slots;
  const std::size_t bankBytes = slots.empty() ? 0 : slots.size() * slots.front().size();
  if (bankBytes > UndoHistory::kDefaultMaxBytes) {
    // Too big to keep as it was: what the request changes cannot be undone, and the steps before
    // it would put back slots it changed since.
    WriteLog(LogPath(), "Bank %d is too big to undo a request; undo history cleared\n", bank + 1);
    history_.clear();
    return;
  }
  // An answer may name any slot of the bank, and the slots asked for are stamped and marked before
  // any answer comes: the whole bank is noted as it was, and only what changed is kept at the end.
  history_.begin(stepNameOf(CommandId::RequestSelected));
  for (int slot = 0; slot < static_cast<int>(slots.size()); ++slot) noteSlotChanging(bank, slot);
  requestStepOpen_ = true;
}

void MainWindow::settleRequestStep() {
  if (!requestStepOpen_ || (requestRun_ && requestRun_->active())) return;
  requestStepOpen_ = false;
  const std::size_t kept = history_.keptEver();
  history_.end(slotReader());
  requestEndedUnchanged_ = history_.keptEver() == kept;
}

void MainWindow::applyStep(const UndoStep& step, bool backwards) {
  std::array<std::optional<std::pair<int, int>>, 2> changed;  // first and last row per bank
  for (const SlotChange& change : step.changes) {
    if (!validSlot(change.bank, change.slot)) continue;
    const auto index = static_cast<std::size_t>(change.slot);
    Bank& target = banks_[change.bank];
    Patch& patch = target.slots[index];
    const std::vector<std::uint8_t>& bytes = backwards ? change.before : change.after;
    if (bytes.size() != patch.size()) continue;
    // The bytes were read from a slot, whose name field is already as loadBytes leaves it, so they
    // come back unchanged: not renumbered, stamped or checksummed as a store would.
    patch.loadBytes(bytes);
    // A save since the step was recorded may have written either state: only the marks of a bank
    // not saved since still tell what is unsaved.
    const bool unsaved = history_.savedSince(step, change.bank) ||
                         (backwards ? change.unsavedBefore : change.unsavedAfter);
    if (index < target.unsaved.size()) target.unsaved[index] = unsaved;
    auto& rows = changed[static_cast<std::size_t>(change.bank)];
    rows = rows ? std::pair(rows->first, change.slot) : std::pair(change.slot, change.slot);
  }
  for (int b = 0; b < 2; ++b) {
    const auto& rows = changed[static_cast<std::size_t>(b)];
    if (!rows) continue;
    view_.refreshRows(b, rows->first, rows->second);
    SetStatus(b, "%s %s.", step.what.c_str(), backwards ? "undone" : "redone");
  }
}

void MainWindow::undo() {
  const UndoStep* step = history_.nextUndo();
  if (!step) return;
  WriteLog(LogPath(), "Undo %s\n", step->what.c_str());
  applyStep(*step, true);
  history_.markUndone();
}

void MainWindow::redo() {
  const UndoStep* step = history_.nextRedo();
  if (!step) return;
  WriteLog(LogPath(), "Redo %s\n", step->what.c_str());
  applyStep(*step, false);
  history_.markRedone();
}

std::vector<EditMenuEntry> MainWindow::editMenu() {
  settleRequestStep();  // a request that has ended shows as the step it is
  const auto entry = [this](CommandId id, const char* verb, const std::string* what) {
    std::string keys;
    for (const Accelerator& accelerator : editAccelerators()) {
      if (accelerator.id == id) keys = accelerator.keys;
    }
    std::string text = verb;
    if (what) text += " " + *what;
    if (!keys.empty()) text += "\t" + keys;
    return EditMenuEntry{id, text, what != nullptr && !sending()};
  };
  // A running request is what Undo ends and takes back; after it nothing is left to redo.
  const bool requesting = requestStepOpen_;
  const std::string request(stepNameOf(CommandId::RequestSelected));
  const UndoStep* undoStep = history_.nextUndo();
  const UndoStep* redoStep = history_.nextRedo();
  return {entry(CommandId::Undo, "Undo",
                requesting ? &request : (undoStep ? &undoStep->what : nullptr)),
          entry(CommandId::Redo, "Redo", !requesting && redoStep ? &redoStep->what : nullptr)};
}

}  // namespace banklore
