// banklore-cli's side of bank files: which format a file name asks for, what to say when a file
// cannot be written, and which slot each patch of a file to send goes to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/bank_file_io.h"
#include "core/instrument_definition.h"
#include "core/patch.h"

namespace banklore {

// The format a file name asks for: its extension (.syx, .mid or .midi, any case); nothing for
// another name.
std::optional<BankFormat> bankFormatOfName(const std::string& path);

// Writes `patches` in that order, replacing `path` only once the whole file is written. Empty on
// success, else what went wrong.
std::string writeBankFile(const std::string& path, BankFormat format,
                          const std::vector<const Patch*>& patches);

// What a bank file held, put into the slots of a bank.
struct BankFileRead {
  std::string error;       // the file could not be read at all; nothing else is set
  std::vector<int> slots;  // slots that got a patch, ascending
  long packets = 0;        // messages (or PatchSize pieces) in the file
  long wrong = 0;          // not a patch of this instrument: wrong size, header or ending
  long outside = 0;        // naming a slot the instrument does not have
  long replaced = 0;       // overwritten by a later patch for the same slot
  std::optional<std::uint64_t> damagedAfter;  // a MIDI file cut short: bytes read intact
};

// Reads a Standard MIDI File (it starts with "MThd") or else a raw SysEx file. Each patch goes into
// the slot it names; for an instrument whose patches name no slot, into slots 0, 1, 2... in file
// order. `bank` holds one patch per slot of `definition`.
BankFileRead readBankFile(const std::string& path, InstrumentDefinition& definition,
                          std::vector<Patch>& bank);

}  // namespace banklore
