// "Mark duplicates": which slots repeat an earlier patch, and the command that selects them.
#include "app/duplicates.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>

#include "app/archive_recorder.h"
#include "app/main_window.h"

namespace banklore {

std::array<std::vector<int>, 2> duplicateSlots(const InstrumentDefinition& definition,
                                               const std::vector<Patch>& first,
                                               const std::vector<Patch>& second) {
  std::unordered_set<std::string> seen;
  std::array<std::vector<int>, 2> duplicates;
  const std::array<const std::vector<Patch>*, 2> banks = {&first, &second};
  for (std::size_t b = 0; b < banks.size(); ++b) {
    const std::vector<Patch>& slots = *banks[b];
    for (std::size_t slot = 0; slot < slots.size(); ++slot) {
      const Patch& patch = slots[slot];
      if (!patch.isValid()) continue;
      const std::vector<std::uint8_t> sound = soundData(definition, patch.bytes());
      std::string data(sound.begin(), sound.end());
      if (!seen.insert(std::move(data)).second) duplicates[b].push_back(static_cast<int>(slot));
    }
  }
  return duplicates;
}

void MainWindow::markDuplicates() {
  const std::array<std::vector<int>, 2> duplicates =
      duplicateSlots(*definition_, banks_[0].slots, banks_[1].slots);
  for (int b = 0; b < 2; ++b) {
    const std::vector<int>& slots = duplicates[static_cast<std::size_t>(b)];
    view_.setSelection(b, slots, slots.empty() ? std::nullopt : std::optional<int>(slots.front()));
    if (!slots.empty()) view_.ensureRowVisible(b, slots.front());
    const auto count = static_cast<long>(slots.size());
    SetStatus(b, "%ld duplicate%s selected.", count, count == 1 ? "" : "s");
  }
}

}  // namespace banklore
