// Hearing a patch without storing it: the patch sent to the instrument's edit buffer. The
// section's `Audition=` template (the same fields and variables as "Send") gives the header; the
// patch's data area and footer follow unchanged, and the section's send checksum rule is applied
// to the message as built, its place moved by as much as the header is longer or shorter.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/instrument_definition.h"

namespace banklore {

// The message that plays `patch` (a whole patch message of `definition`) in the edit buffer, with
// the definition's current variables (device, and slot for a template that names one). Empty when
// there is no template or the patch is not PatchSize bytes: nothing must go out then.
std::vector<std::uint8_t> auditionMessage(const InstrumentDefinition& definition,
                                          std::string_view auditionTemplate,
                                          std::span<const std::uint8_t> patch);

}  // namespace banklore
