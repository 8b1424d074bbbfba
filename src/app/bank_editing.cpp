// The bank-editing commands: selection, copy to the other bank, rename, copy and paste, swap,
// moving up, down and by a count, and the sort by name. Moves and the sort work out where every
// patch ends first and then store each patch that changes places once, so a 16,384-slot bank
// stays as quick as a small one; the result is the one exchanging neighbours step by step gives.
#include <algorithm>
#include <cstring>
#include <numeric>
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

bool nameBefore(const std::string& a, const std::string& b) {
  return compareNames(a, b) < 0;
}

// A patch leaving slot `from` for slot `to` (its own slot when it is only stored afresh).
struct SlotMove {
  int from;
  int to;
};

// Takes every listed patch out before any is stored, then stores each into its new slot once:
// renumbered, stamped with the device ID and checksummed by the slot primitive like any edit.
void storeMoved(MainWindow& window, int bank, const std::vector<SlotMove>& moves) {
  std::vector<Patch> leaving;
  leaving.reserve(moves.size());
  for (const SlotMove& move : moves) {
    leaving.emplace_back(window.definition());
    window.LoadFromSlot(leaving.back(), bank, move.from);
  }
  for (std::size_t i = 0; i < moves.size(); ++i) {
    window.StoreToSlot(bank, moves[i].to, leaving[i], false);
  }
}

// Where the patches end when the selected slots (ascending, `shift` away from both edges) move
// `shift` slots, negative being up: the selected patches keep their spacing and the others close
// up around them in their order, which is what exchanging neighbours one step at a time gives.
// Lists the patches that change slots, by ascending destination.
std::vector<SlotMove> shiftedSelection(const std::vector<int>& selection, int shift, int slots) {
  std::vector<int> source(static_cast<std::size_t>(slots), -1);  // whose patch ends in each slot
  std::vector<bool> selected(static_cast<std::size_t>(slots), false);
  for (int slot : selection) {
    source[static_cast<std::size_t>(slot + shift)] = slot;
    selected[static_cast<std::size_t>(slot)] = true;
  }
  std::vector<SlotMove> moves;
  int nextUnselected = 0;
  for (int to = 0; to < slots; ++to) {
    int& from = source[static_cast<std::size_t>(to)];
    if (from < 0) {
      while (selected[static_cast<std::size_t>(nextUnselected)]) ++nextUnselected;
      from = nextUnselected++;
    }
    if (from != to) moves.push_back({from, to});
  }
  return moves;
}

// How sorting a list of names by exchanging neighbours ends: order[p] is the position whose patch
// ends at position p, and touched[i] says whether the patch first at position i was exchanged at
// all (it is stored afresh then, even when it ends where it began).
struct SortOutcome {
  std::vector<std::size_t> order;
  std::vector<bool> touched;
};

// Neighbours are exchanged only when strictly out of order, so the outcome is the stable sort,
// and every pair out of order is exchanged once: a patch is touched when a greater name stands
// before it or a smaller one after it.
SortOutcome stableSortOutcome(const std::vector<std::string>& names) {
  const std::size_t count = names.size();
  SortOutcome outcome{std::vector<std::size_t>(count), std::vector<bool>(count, false)};
  std::iota(outcome.order.begin(), outcome.order.end(), std::size_t{0});
  std::stable_sort(
      outcome.order.begin(), outcome.order.end(),
      [&names](std::size_t a, std::size_t b) { return nameBefore(names[a], names[b]); });
  if (count == 0) return outcome;
  std::size_t greatest = 0;  // a greatest name before i
  for (std::size_t i = 1; i < count; ++i) {
    if (nameBefore(names[i], names[greatest])) {
      outcome.touched[i] = true;
    } else {
      greatest = i;
    }
  }
  std::size_t least = count - 1;  // a least name after i
  for (std::size_t i = count - 1; i-- > 0;) {
    if (nameBefore(names[least], names[i])) {
      outcome.touched[i] = true;
    } else {
      least = i;
    }
  }
  return outcome;
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
  std::optional<int> firstWritten;
  int lastWritten = -1;
  for (int s : sources) {
    while (next < targets.size() && targets[next] <= t) ++next;
    t = next < targets.size() ? targets[next] : t + 1;
    if (t >= rows) break;  // every further target lies past the end as well
    CopySlot(source, s, target, t, false);
    if (!firstWritten) firstWritten = t;
    lastWritten = t;
  }
  if (firstWritten) view_.refreshRows(target, *firstWritten, lastWritten);
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
  if (pairs == 0) return;
  for (std::size_t i = 0; i < pairs; ++i) StoreToSlot(activeBank_, slots[i], clipboard_[i], false);
  view_.refreshRows(activeBank_, slots.front(), slots[pairs - 1]);
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
  exchangeSlots(activeBank_, slots[0], slots[1], false);
  view_.refreshRows(activeBank_, slots[0], slots[1]);
}

std::optional<std::pair<int, int>> MainWindow::moveSelection(int bank, int steps) {
  std::vector<int> selection = selectedSlots(bank);
  if (selection.empty()) return std::nullopt;
  // Once the selection touches the edge it moves towards, further steps do nothing.
  const int room = steps < 0 ? selection.front() : slotCount() - 1 - selection.back();
  const int shift = steps < 0 ? -std::min(-steps, room) : std::min(steps, room);
  if (shift == 0) return std::nullopt;
  const std::vector<SlotMove> moves = shiftedSelection(selection, shift, slotCount());
  storeMoved(*this, bank, moves);
  for (int& slot : selection) slot += shift;
  view_.setSelection(bank, selection, selection.back());
  return std::pair(moves.front().to, moves.back().to);
}

void MainWindow::MoveSelectionUp(int bank, bool refresh) {
  if (!validBank(bank)) return;
  const auto changed = moveSelection(bank, -1);
  if (changed && refresh) view_.refreshRows(bank, changed->first, changed->second);
}

void MainWindow::MoveSelectionDown(int bank, bool refresh) {
  if (!validBank(bank)) return;
  const auto changed = moveSelection(bank, 1);
  if (changed && refresh) view_.refreshRows(bank, changed->first, changed->second);
}

void MainWindow::moveByCount() {
  const std::optional<int> count = prompts_.moveCount();
  if (!count) return;
  const int bank = activeBank_;
  moveSelection(bank, std::clamp(*count, -1023, 1023));
  if (slotCount() > 0) view_.refreshRows(bank, 0, slotCount() - 1);  // every row, moved or not
}

void MainWindow::sortSelection() {
  const int bank = activeBank_;
  const std::vector<int> slots = selectedSlots(bank);
  if (slots.size() < 2) return;
  // Storing a patch leaves its name reading as before (a definition keeps its header and checksum
  // out of the name field), so the names can be compared once, up front.
  std::vector<std::string> names;
  names.reserve(slots.size());
  for (int slot : slots) names.push_back(name(bank, slot));
  const SortOutcome outcome = stableSortOutcome(names);
  std::vector<SlotMove> moves;
  for (std::size_t p = 0; p < slots.size(); ++p) {
    const std::size_t from = outcome.order[p];
    if (outcome.touched[from]) moves.push_back({slots[from], slots[p]});
  }
  storeMoved(*this, bank, moves);
  view_.refreshRows(bank, slots.front(), slots.back());
}

}  // namespace banklore
