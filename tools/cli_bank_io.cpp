#include "cli_bank_io.h"

#include <cstring>
#include <string_view>
#include <utility>

#include "platform/profile.h"

namespace banklore {
namespace {

bool endsWith(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         equalsIgnoringCase(std::string_view(text).substr(text.size() - suffix.size()), suffix);
}

}  // namespace

std::optional<BankFormat> bankFormatOfName(const std::string& path) {
  if (endsWith(path, ".syx")) return BankFormat::Syx;
  if (endsWith(path, ".mid") || endsWith(path, ".midi")) return BankFormat::Mid;
  return std::nullopt;
}

std::string writeBankFile(const std::string& path, BankFormat format,
                          const std::vector<const Patch*>& patches) {
  const BankFileWriting written = writeBankPatches(path, format, patches);
  switch (written.problem) {
    case BankWriteProblem::None:
      return {};
    case BankWriteProblem::CannotCreate:
      return std::string("cannot create it (") + std::strerror(written.error) + ")";
    case BankWriteProblem::WriteFailed:
      if (written.oldContentLost) return "the write failed and the old file could not be put back";
      return std::string("the write failed (") + std::strerror(written.error) +
             "); the file is as it was";
  }
  return {};
}

BankFileRead readBankFile(const std::string& path, InstrumentDefinition& definition,
                          std::vector<Patch>& bank) {
  BankFileRead read;
  std::vector<bool> filled(bank.size(), false);
  const bool namesSlot = definition.sendTemplateNamesSlot();
  std::int64_t nextUnnamed = 0;
  const BankFileReading reading =
      readBankPackets(path, std::nullopt, definition, [&](const Patch* patch, bool) {
        ++read.packets;
        if (patch == nullptr) {
          ++read.wrong;
          return true;
        }
        const std::int64_t slot = namesSlot ? patch->patchNumber() : nextUnnamed++;
        if (slot < 0 || static_cast<std::size_t>(slot) >= bank.size()) {
          ++read.outside;
          return true;
        }
        const auto at = static_cast<std::size_t>(slot);
        if (filled[at]) ++read.replaced;
        filled[at] = true;
        bank[at].loadBytes(patch->bytes());
        return true;
      });
  const auto failed = [](std::string why) {
    BankFileRead nothing;
    nothing.error = std::move(why);
    return nothing;
  };
  switch (reading.problem) {
    case BankReadProblem::None:
      break;
    case BankReadProblem::CannotOpen:
      return failed(std::string("cannot open it (") + std::strerror(reading.error) + ")");
    case BankReadProblem::NoMidiFile:
      return failed("not a readable Standard MIDI File");
    case BankReadProblem::ReadError:
      return failed("read error");
  }
  read.damagedAfter = reading.damagedAfter;
  for (std::size_t slot = 0; slot < filled.size(); ++slot) {
    if (filled[slot]) read.slots.push_back(static_cast<int>(slot));
  }
  return read;
}

}  // namespace banklore
