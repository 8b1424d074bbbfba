// Bank files as the librarian and banklore-cli read and write them: a raw SysEx file (the patches
// back to back, PatchSize bytes each) or a Standard MIDI File (one SysEx event per patch, a second
// apart). What goes into which slot, and what the user is told, is each caller's own.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/instrument_definition.h"
#include "core/patch.h"

namespace banklore {

enum class BankFormat { Syx, Mid };

// One packet of the file, in file order: the patch it holds, or null when it is not a patch of
// the instrument (shorter than PatchSize, or its first PatchSize bytes are not one). `cutShort`:
// the last piece of a raw file, fewer than PatchSize bytes or ended by a read error. Returns
// whether to go on; the patch lives only for the call.
using BankPacketSink = std::function<bool(const Patch* patch, bool cutShort)>;

enum class BankReadProblem {
  None,
  CannotOpen,  // no regular file that could be opened; `error` says why
  NoMidiFile,  // a MIDI file whose header is not whole: nothing was read
  ReadError,   // a raw file ended by a read error (given to the sink as a piece cut short)
};

struct BankFileReading {
  BankReadProblem problem = BankReadProblem::None;
  int error = 0;                              // errno of a failed open
  std::optional<std::uint64_t> damagedAfter = std::nullopt;  // a MIDI file cut short: bytes read intact
};

// Hands each packet of the file to `take`. Without a format, a file starting with "MThd" is read
// as a MIDI file and any other as a raw one. A raw file is cut at fixed PatchSize offsets, never
// searched for F0 or F7, so a file made for another patch size reads as wrong packets; a MIDI file
// cut short still gives the whole messages before the damage.
BankFileReading readBankPackets(const std::string& path, std::optional<BankFormat> format,
                                InstrumentDefinition& definition, const BankPacketSink& take);

enum class BankWriteProblem {
  None,
  CannotCreate,  // the target could not be opened for writing; `error` says why
  WriteFailed,   // a write, flush or rename failed; the file is as it was unless oldContentLost
};

struct BankFileWriting {
  BankWriteProblem problem = BankWriteProblem::None;
  int error = 0;                // errno of the failure
  bool oldContentLost = false;  // written in place, and its old bytes could not be put back
};

// Writes `patches` in that order through an atomic file: `path` is replaced only once the whole
// file is written.
BankFileWriting writeBankPatches(const std::string& path, BankFormat format,
                                 const std::vector<const Patch*>& patches);

}  // namespace banklore
