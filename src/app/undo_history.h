// The window's undo and redo history. A step is one user action: for each slot the action changed,
// the slot's bytes before and after it and whether the slot counted as unsaved. Steps are recorded
// by opening a group, noting each slot before its first change and closing the group; nested
// groups join the outermost one. The history is bounded in steps and bytes, the oldest going
// first. Toolkit-free and unaware of the window: it holds bytes, the window applies them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace banklore {

struct SlotChange {
  int bank = 0;
  int slot = 0;
  std::vector<std::uint8_t> before;
  std::vector<std::uint8_t> after;
  bool unsavedBefore = false;
  bool unsavedAfter = false;
};

struct UndoStep {
  std::string what;                 // "Paste": shown as "Undo Paste"
  std::vector<SlotChange> changes;  // bank 0 first, slots ascending
  std::array<unsigned, 2> saves{};  // each bank's save count while the step was recorded
  std::size_t bytes() const;
};

class UndoHistory {
 public:
  static constexpr std::size_t kDefaultMaxSteps = 100;
  static constexpr std::size_t kDefaultMaxBytes = std::size_t{64} << 20;

  // A slot as it is now: its bytes and whether it counts as unsaved.
  struct SlotState {
    std::span<const std::uint8_t> bytes;
    bool unsaved = false;
  };
  using SlotReader = std::function<SlotState(int bank, int slot)>;

  explicit UndoHistory(std::size_t maxSteps = kDefaultMaxSteps,
                       std::size_t maxBytes = kDefaultMaxBytes);

  // Opens a group; the outermost one names the step.
  void begin(std::string_view what);
  bool recording() const { return depth_ > 0; }
  // Whether the next end() closes the step (and reads the slots).
  bool closing() const { return depth_ == 1; }
  // The slot as it is before the open step first changes it; later notes of the same slot are
  // dropped when the step closes, and a note while no group is open is ignored.
  void noteBefore(int bank, int slot, const SlotState& state);
  // Closes the innermost group. Closing the outermost reads every noted slot through `current`:
  // slots whose bytes ended as they began are left out, and a step that changed nothing is not kept
  // (nor does it touch what can be redone). A kept step ends what could be redone.
  void end(const SlotReader& current);

  const UndoStep* nextUndo() const { return undo_.empty() ? nullptr : &undo_.back(); }
  const UndoStep* nextRedo() const { return redo_.empty() ? nullptr : &redo_.back(); }
  // The step nextUndo gave has been put back into the banks: it becomes the next to redo.
  void markUndone();
  // The step nextRedo gave has been applied again: it becomes the next to undo.
  void markRedone();

  // A save of some of the bank's slots: from now on the slots' unsaved marks of every step
  // recorded before no longer tell what the saved file holds.
  void noteSaved(int bank);
  // Whether the bank was saved since the step was recorded.
  bool savedSince(const UndoStep& step, int bank) const;

  // Forgets every step and whatever the open step has noted (the group stays open).
  void clear();

  std::size_t undoCount() const { return undo_.size(); }
  std::size_t redoCount() const { return redo_.size(); }
  // Bytes held by the kept steps.
  std::size_t bytes() const { return bytes_; }
  // How many steps were ever kept: tells whether closing a group kept one.
  std::size_t keptEver() const { return keptEver_; }

 private:
  void keep(UndoStep step);

  std::size_t maxSteps_;
  std::size_t maxBytes_;
  std::deque<UndoStep> undo_;  // oldest first
  std::vector<UndoStep> redo_;
  std::size_t bytes_ = 0;
  std::size_t keptEver_ = 0;
  std::array<unsigned, 2> saves_{};

  int depth_ = 0;
  UndoStep open_;
};

}  // namespace banklore
