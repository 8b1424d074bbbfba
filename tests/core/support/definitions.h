// Definitions built from .idf text for tests; each file lives as long as the test program.
#pragma once

#include <memory>
#include <string>

#include "core/instrument_definition.h"

namespace banklore::testing {

// Loads `section` (the lines of one section, without its header) as instrument "Test".
std::unique_ptr<InstrumentDefinition> loadDefinition(const std::string& section,
                                                     SysExSender* port = nullptr);

}  // namespace banklore::testing
