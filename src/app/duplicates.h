// Finding patches that are the same sound: equal patch data, whatever slot, device or checksum
// their headers and footers carry.
#pragma once

#include <array>
#include <vector>

#include "core/instrument_definition.h"
#include "core/patch.h"

namespace banklore {

// The slots (ascending, per bank) whose patch data, all but the header and the checksum byte,
// equals that of a slot before them; every slot of the first bank comes before those of the
// second. Slots that hold no valid patch (never filled, or damaged) take no part, so a fresh bank
// has no duplicates.
std::array<std::vector<int>, 2> duplicateSlots(const InstrumentDefinition& definition,
                                               const std::vector<Patch>& first,
                                               const std::vector<Patch>& second);

}  // namespace banklore
