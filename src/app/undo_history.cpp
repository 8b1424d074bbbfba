#include "app/undo_history.h"

#include <algorithm>
#include <utility>

namespace banklore {

namespace {

// What a change costs beyond its bytes, so a step of many tiny slots still counts.
constexpr std::size_t kChangeOverhead = sizeof(SlotChange);

}  // namespace

std::size_t UndoStep::bytes() const {
  std::size_t total = sizeof(UndoStep) + what.size();
  for (const SlotChange& change : changes) {
    total += kChangeOverhead + change.before.size() + change.after.size();
  }
  return total;
}

UndoHistory::UndoHistory(std::size_t maxSteps, std::size_t maxBytes)
    : maxSteps_(maxSteps), maxBytes_(maxBytes) {}

void UndoHistory::begin(std::string_view what) {
  if (depth_++ > 0) return;
  open_ = UndoStep{};
  open_.what = what;
  open_.saves = saves_;
}

void UndoHistory::noteBefore(int bank, int slot, const SlotState& state) {
  if (depth_ == 0) return;
  // A slot changed twice is noted twice; end() keeps the first note, which holds the slot as the
  // action found it. Cheaper than looking each slot up as it comes.
  SlotChange change;
  change.bank = bank;
  change.slot = slot;
  change.before.assign(state.bytes.begin(), state.bytes.end());
  change.unsavedBefore = state.unsaved;
  open_.changes.push_back(std::move(change));
}

void UndoHistory::end(const SlotReader& current) {
  if (depth_ == 0) return;
  if (--depth_ > 0) return;
  UndoStep step = std::move(open_);
  open_ = UndoStep{};
  std::stable_sort(step.changes.begin(), step.changes.end(),
                   [](const SlotChange& a, const SlotChange& b) {
                     return a.bank != b.bank ? a.bank < b.bank : a.slot < b.slot;
                   });
  const auto firstNotes = std::unique(step.changes.begin(), step.changes.end(),
                                      [](const SlotChange& a, const SlotChange& b) {
                                        return a.bank == b.bank && a.slot == b.slot;
                                      });
  step.changes.erase(firstNotes, step.changes.end());
  for (SlotChange& change : step.changes) {
    const SlotState now = current(change.bank, change.slot);
    change.after.assign(now.bytes.begin(), now.bytes.end());
    change.unsavedAfter = now.unsaved;
  }
  // A slot stored afresh with what it held is no change to undo, whatever its unsaved mark says.
  std::erase_if(step.changes,
                [](const SlotChange& change) { return change.before == change.after; });
  if (step.changes.empty()) return;
  keep(std::move(step));
}

void UndoHistory::keep(UndoStep step) {
  ++keptEver_;
  for (const UndoStep& dropped : redo_) bytes_ -= dropped.bytes();
  redo_.clear();
  const std::size_t size = step.bytes();
  if (size > maxBytes_ || maxSteps_ == 0) {
    // Without this step the older ones would put back slots it changed since: none can be undone.
    undo_.clear();
    bytes_ = 0;
    return;
  }
  undo_.push_back(std::move(step));
  bytes_ += size;
  while (undo_.size() > maxSteps_ || bytes_ > maxBytes_) {
    bytes_ -= undo_.front().bytes();
    undo_.pop_front();
  }
}

void UndoHistory::markUndone() {
  if (undo_.empty()) return;
  redo_.push_back(std::move(undo_.back()));
  undo_.pop_back();
}

void UndoHistory::markRedone() {
  if (redo_.empty()) return;
  undo_.push_back(std::move(redo_.back()));
  redo_.pop_back();
}

void UndoHistory::noteSaved(int bank) {
  if (bank == 0 || bank == 1) ++saves_[static_cast<std::size_t>(bank)];
}

bool UndoHistory::savedSince(const UndoStep& step, int bank) const {
  if (bank != 0 && bank != 1) return true;
  const auto index = static_cast<std::size_t>(bank);
  return step.saves[index] != saves_[index];
}

void UndoHistory::clear() {
  undo_.clear();
  redo_.clear();
  bytes_ = 0;
  open_.changes.clear();
}

}  // namespace banklore
