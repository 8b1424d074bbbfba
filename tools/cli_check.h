// banklore-cli check: every packet of a bank file judged as the program would take it, and sent
// back through the definition to see whether it comes out byte for byte as it went in. For authors
// of instrument definitions, against real dumps of their instrument.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "core/instrument_definition.h"

namespace banklore {

struct CheckCommand {
  CLI::App* command = nullptr;  // set by addCheckCommand; true when given on the command line
  std::string file;
};

void addCheckCommand(CLI::App& app, CheckCommand& check);

// Prints one line per packet and a last line that sums them up. `sent` is where the definition's
// port keeps what it sent (the round trips read and clear it). 0 when every packet is valid and
// comes back unchanged, 1 otherwise (also for a file without packets or one that cannot be read).
int runCheck(InstrumentDefinition& definition, std::vector<std::vector<std::uint8_t>>& sent,
             const CheckCommand& check);

}  // namespace banklore
