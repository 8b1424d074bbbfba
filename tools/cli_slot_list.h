// Slot lists as banklore-cli takes and prints them: 0-based numbers and ranges joined by commas,
// "0-127,200". Printed lists use the same form, so a summary's missing slots can be fetched again.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace banklore {

struct SlotListParse {
  std::vector<int> slots;  // ascending, each once
  std::string error;       // empty when the list was good
};

// Reads `text` for an instrument of `slotCount` slots (0 to slotCount - 1). Blanks around numbers
// are allowed; an empty item, a reversed range or a slot outside the instrument is an error.
SlotListParse parseSlotList(std::string_view text, int slotCount);

// `slots` (ascending, each once) with runs of three or more written as ranges: "0-127,200".
std::string formatSlotList(const std::vector<int>& slots);

}  // namespace banklore
