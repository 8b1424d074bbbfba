#include "cli_audition.h"

#include <algorithm>
#include <vector>

#include "cli_bank_io.h"
#include "cli_slot_list.h"
#include "platform/profile.h"

namespace banklore {
namespace {

std::string noAudition(const InstrumentDefinition& definition) {
  return "The definition of " + definition.InstrumentName() +
         " has no Audition key: its patches cannot be played in the edit buffer.";
}

// A label first, as the window shows slots; else a number, as the other commands take slots.
std::optional<int> slotNamed(const InstrumentDefinition& definition, const std::string& text,
                             std::string& error) {
  for (int slot = 0; slot < definition.NumTotalPatches(); ++slot) {
    if (equalsIgnoringCase(definition.patchLabel(slot), text)) return slot;
  }
  const SlotListParse number = parseSlotList(text, definition.NumTotalPatches());
  if (number.error.empty() && number.slots.size() == 1 && text.find('-') == std::string::npos) {
    return number.slots.front();
  }
  error = "\"" + text + "\" is no slot of " + definition.InstrumentName() + " (a label from " +
          definition.patchLabel(0) + " to " +
          definition.patchLabel(definition.NumTotalPatches() - 1) + ", or a number from 0 to " +
          std::to_string(definition.NumTotalPatches() - 1) + ")";
  return std::nullopt;
}

std::string trimmedName(const Patch& patch) {
  std::string name = patch.name();
  name.erase(name.find_last_not_of(' ') + 1);
  return name;
}

}  // namespace

AuditionChoice chooseAudition(InstrumentDefinition& definition, const std::string& file,
                              const std::string& slotText) {
  AuditionChoice choice;
  if (definition.Audition().empty()) {
    choice.error = noAudition(definition);
    return choice;
  }
  std::optional<int> wanted;
  if (!slotText.empty() && !(wanted = slotNamed(definition, slotText, choice.error))) {
    choice.usage = true;
    return choice;
  }
  std::vector<Patch> bank(static_cast<std::size_t>(definition.NumTotalPatches()),
                          Patch(definition));
  const BankFileRead read = readBankFile(file, definition, bank);
  if (!read.error.empty()) {
    choice.error = "cannot read " + file + ": " + read.error;
  } else if (read.slots.empty()) {
    choice.error = file + " holds no patch for " + definition.InstrumentName();
  } else if (wanted && !std::binary_search(read.slots.begin(), read.slots.end(), *wanted)) {
    choice.error = file + " holds no patch for slot " + definition.patchLabel(*wanted) + " (its " +
                   std::to_string(read.slots.size()) + " go to " +
                   definition.patchLabel(read.slots.front()) + " and on)";
  } else {
    choice.slot = wanted.value_or(read.slots.front());
    choice.patch = bank[static_cast<std::size_t>(choice.slot)];
  }
  return choice;
}

std::string auditionOutcomeText(AuditionPlayer::Outcome outcome,
                                const InstrumentDefinition& definition,
                                const AuditionChoice& choice, const std::string& output) {
  const std::string patch = definition.patchLabel(choice.slot) +
                            (choice.patch ? " " + trimmedName(*choice.patch) : std::string());
  switch (outcome) {
    case AuditionPlayer::Outcome::Played:
      return "Playing " + patch + " in the edit buffer.";
    case AuditionPlayer::Outcome::NoAudition:
      return noAudition(definition);
    case AuditionPlayer::Outcome::NoPatch:
      return patch + " is no valid patch of " + definition.InstrumentName() + ": nothing sent.";
    case AuditionPlayer::Outcome::NotSent:
      break;
  }
  return "The MIDI output " + output + " refused " + patch + ": nothing was played.";
}

}  // namespace banklore
