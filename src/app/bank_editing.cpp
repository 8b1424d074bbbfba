// The bank-editing commands: selection, copy to the other bank, rename, copy and paste, swap,
// moving up, down and by a count, and the sort by name.
#include <algorithm>
#include <cstring>
#include <vector>

#include "app/main_window.h"

namespace banklore {

namespace {

// Names sort by plain byte comparison (unsigned bytes, like strcmp), so "B" comes before "a".
int compareNames(const std::string& a, const std::string& b) {
  const std::size_t common = std::min(a.size(), b.size());
  const int result = std::memcmp(a.data(), b.data(), common);  // memcmp compares unsigned bytes
  if (result != 0) return result;
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace

void MainWindow::selectAll() {
  const int rows = slotCount();
  if (rows <= 0) return;
  std::vector<int> all(static_cast<std::size_t>(rows));
  for (int i = 0; i < rows; ++i) all[static_cast<std::size_t>(i)] = i;
  view_.setSelection(activeBank_, all,
                     rows - 1);  // marked in ascending order: the last row keeps focus
}

void MainWindow::selectNone() {
  if (slotCount() <= 0) return;
  view_.setSelection(activeBank_, {}, std::nullopt);
}

void MainWindow::activate(int bank) {
  if (!validBank(bank)) return;
  view_.focusList(bank);
  activeBank_ = bank;
}

void MainWindow::copyToOtherBank() {
  const int source = activeBank_;
  const int target = 1 - source;
  const std::vector<int> sources = selectedSlots(source);
  const std::vector<int> targets = selectedSlots(target);
  const int rows = slotCount();
  // The target bank's selected slots are used in ascending order, then the slots after the last one
  // used; with no target selection the first copy goes to slot 0.
  int t = -1;
  std::size_t next = 0;
  for (int s : sources) {
    while (next < targets.size() && targets[next] <= t) ++next;
    t = next < targets.size() ? targets[next] : t + 1;
    if (t >= rows) break;  // every further target lies past the end as well
    CopySlot(source, s, target, t, true);
  }
}

void MainWindow::renameSelection() {
  const int bank = activeBank_;
  for (int slot : selectedSlots(bank)) {
    const std::optional<std::string> newName = prompts_.rename(name(bank, slot));
    if (!newName) continue;  // cancelled: this slot stays, the next one is still asked
    RenameSlot(bank, slot, *newName, true);
  }
}

void MainWindow::copySelection() {
  clipboard_.clear();
  for (int slot : selectedSlots(activeBank_)) {
    Patch copy(*definition_);
    LoadFromSlot(copy, activeBank_, slot);
    clipboard_.push_back(std::move(copy));
  }
}

void MainWindow::pasteClipboard() {
  const std::vector<int> slots = selectedSlots(activeBank_);
  const std::size_t pairs = std::min(slots.size(), clipboard_.size());
  for (std::size_t i = 0; i < pairs; ++i) StoreToSlot(activeBank_, slots[i], clipboard_[i], true);
}

void MainWindow::exchangeSlots(int bank, int a, int b, bool refresh) {
  if (!validSlot(bank, a) || !validSlot(bank, b)) return;
  Patch temporary(*definition_);
  LoadFromSlot(temporary, bank, a);
  CopySlot(bank, b, bank, a, refresh);
  StoreToSlot(bank, b, temporary, refresh);
}

void MainWindow::swapSelection() {
  const std::vector<int> slots = selectedSlots(activeBank_);
  if (slots.size() != 2) return;
  exchangeSlots(activeBank_, slots[0], slots[1], true);
}

bool MainWindow::moveUpOnce(int bank, std::vector<int>& selection, bool refresh) {
  if (selection.empty() || selection.front() <= 0) return false;
  for (int& s : selection) {
    exchangeSlots(bank, s - 1, s, refresh);
    --s;
  }
  return true;
}

bool MainWindow::moveDownOnce(int bank, std::vector<int>& selection, bool refresh) {
  if (selection.empty() || selection.back() >= slotCount() - 1) return false;
  for (auto it = selection.rbegin(); it != selection.rend(); ++it) {
    exchangeSlots(bank, *it + 1, *it, refresh);
    ++*it;
  }
  return true;
}

void MainWindow::MoveSelectionUp(int bank, bool refresh) {
  if (!validBank(bank)) return;
  std::vector<int> selection = selectedSlots(bank);
  if (moveUpOnce(bank, selection, refresh)) view_.setSelection(bank, selection, selection.back());
}

void MainWindow::MoveSelectionDown(int bank, bool refresh) {
  if (!validBank(bank)) return;
  std::vector<int> selection = selectedSlots(bank);
  if (moveDownOnce(bank, selection, refresh)) view_.setSelection(bank, selection, selection.back());
}

void MainWindow::moveByCount() {
  const std::optional<int> count = prompts_.moveCount();
  if (!count) return;
  const int bank = activeBank_;
  const int n = std::clamp(*count, -1023, 1023);
  // The selection is carried here between the single steps and shown once at the end; once the
  // block touches an edge the remaining steps would do nothing, so they are skipped.
  std::vector<int> selection = selectedSlots(bank);
  bool moved = false;
  for (int step = 0; step < (n < 0 ? -n : n); ++step) {
    const bool stepped =
        n < 0 ? moveUpOnce(bank, selection, false) : moveDownOnce(bank, selection, false);
    if (!stepped) break;
    moved = true;
  }
  if (moved) view_.setSelection(bank, selection, selection.back());
  for (int slot = 0; slot < slotCount(); ++slot) RefreshRow(bank, slot);
}

void MainWindow::sortSelection() {
  const int bank = activeBank_;
  const std::vector<int> slots = selectedSlots(bank);
  if (slots.size() < 2) return;
  std::vector<std::string> names;
  names.reserve(slots.size());
  for (int slot : slots) names.push_back(name(bank, slot));
  // A bubble sort over the selected slots only; equal names keep their order. A consistent order
  // needs at most one pass per slot; the bound also ends it should a checksum inside the name
  // field change names while they are exchanged.
  bool exchanged = true;
  for (std::size_t pass = 0; exchanged && pass <= slots.size(); ++pass) {
    exchanged = false;
    for (std::size_t i = 0; i + 1 < slots.size(); ++i) {
      if (compareNames(names[i], names[i + 1]) <= 0) continue;
      exchangeSlots(bank, slots[i], slots[i + 1], false);
      names[i] = name(bank, slots[i]);
      names[i + 1] = name(bank, slots[i + 1]);
      exchanged = true;
    }
  }
  for (int slot : slots) RefreshRow(bank, slot);
}

}  // namespace banklore
