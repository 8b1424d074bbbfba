// banklore-cli audition: which patch of a bank file is heard, and what is said about playing it in
// the instrument's edit buffer. The port, the settings and the exit codes are the transfers' own
// (cli_transfers.cpp), which run it.
#pragma once

#include <optional>
#include <string>

#include "app/audition_player.h"
#include "core/instrument_definition.h"
#include "core/patch.h"

namespace banklore {

struct AuditionChoice {
  std::optional<Patch> patch;  // nothing: `error` says why there is nothing to play
  int slot = -1;
  std::string error;
  bool usage = false;  // the error is the command line's: a slot the instrument does not have
};

// The patch of `file` to play: the slot `slotText` names (a label as the window shows it, such as
// A005, else a 0-based number), or without one the lowest slot the file fills. Refuses at once a
// definition that has no Audition header, before the file is read.
AuditionChoice chooseAudition(InstrumentDefinition& definition, const std::string& file,
                              const std::string& slotText);

// The line that tells how playing went: "Playing A005 Fat Bass in the edit buffer." on success.
std::string auditionOutcomeText(AuditionPlayer::Outcome outcome,
                                const InstrumentDefinition& definition,
                                const AuditionChoice& choice, const std::string& output);

}  // namespace banklore
