#include "cli_archive.h"

#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

#include "app/archive_recorder.h"
#include "cli_bank_io.h"
#include "core/patch.h"
#include "platform/debug_log.h"

namespace banklore {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// Every section at once: no section name can be this.
constexpr const char* kEverySection = "*";

int say(int code, const std::string& text) {
  std::fprintf(stderr, "banklore-cli: %s\n", text.c_str());
  return code;
}

// The entries' patches as last seen into `file`; the exit code.
int exportEntries(PatchArchive& archive, const std::vector<ArchiveEntry>& entries,
                  const DefinitionChoice& choice, const std::string& section,
                  const std::string& file, BankFormat format) {
  if (const auto missing = missingInstrument(choice.idf, section)) {
    return say(kExitFailed, "cannot export: " + *missing);
  }
  // Corrections made while loading go to stderr, as the other commands show them.
  SetLogPath("/dev/stderr");
  InstrumentDefinition definition(choice.idf, section, nullptr);
  std::fseek(stderr, 0, SEEK_END);
  SetLogPath("");
  std::vector<Patch> patches;
  patches.reserve(entries.size());
  int unfit = 0;
  for (const ArchiveEntry& entry : entries) {
    const std::vector<std::uint8_t> message = archive.lastMessage(entry.id);
    Patch patch(definition);
    // A definition changed since the patch was seen may no longer take it as it was.
    if (message.size() == static_cast<std::size_t>(definition.PatchSize()) &&
        patch.loadBytes(message)) {
      patches.push_back(std::move(patch));
      continue;
    }
    say(kExitFailed,
        "\"" + entry.name + "\" no longer fits the definition of " + section + "; not exported");
    ++unfit;
  }
  std::vector<const Patch*> written;
  for (const Patch& patch : patches) written.push_back(&patch);
  if (const std::string error = writeBankFile(file, format, written); !error.empty()) {
    return say(kExitFailed, "cannot write " + file + ": " + error);
  }
  return unfit == 0 ? kExitOk : kExitFailed;
}

}  // namespace

ArchiveCommand::ArchiveCommand(CLI::App& app) {
  command_ = app.add_subcommand(
      "archive",
      "List the patches of the patch archive, newest first, and export them to a bank file");
  command_->add_option("--archive", archive_, "Archive file (default: the one Banklore keeps)");
  command_->add_option("--ini", ini_,
                       "Settings file naming the instrument (default: the one Banklore reads)");
  command_->add_option("--name", name_, "Only patches whose name contains TEXT, in any case");
  command_->add_option("--export", export_,
                       "Write the patches listed, each as last seen, to a .syx or .mid file");
}

int ArchiveCommand::run(const DefinitionChoice& choice) const {
  SetLogPath("");  // the archive's own complaints are told on stderr; no log file is made
  const std::optional<BankFormat> format = bankFormatOfName(export_);
  if (!export_.empty() && !format) return say(kExitUsage, "--export needs a .syx or .mid file");
  const bool every = choice.instrumentGiven && choice.instrument == kEverySection;
  if (every && format) {
    return say(kExitUsage, "--export takes one instrument's patches: give --instrument NAME");
  }
  const FileLocations files = toolFileLocations();
  const SettingsChoice settings = chooseSettings(files, ini_);
  if (!settings.error.empty()) return say(kExitFailed, settings.error);
  // Reading is allowed when the settings stopped the recording (Archive=0): what was kept stays.
  const std::string path = archive_.empty() ? files.archiveFile : archive_;
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    return say(kExitFailed, "nothing archived yet (there is no " + path + ")");
  }
  ArchiveRecorder opener(path, [](const std::string& text) { say(kExitFailed, text); });
  PatchArchive* archive = opener.archive();
  if (archive == nullptr) return kExitFailed;

  const std::string section = every ? "" : chosenInstrument(choice, settings.file);
  const std::vector<ArchiveEntry> entries = archive->entries(section, name_);
  for (const ArchiveEntry& e : entries) {
    std::printf("%s\t%s\t%s\t%s\t%lld\t%s\n", e.section.c_str(), e.name.c_str(),
                isoLocalTime(e.firstSeen).c_str(), isoLocalTime(e.lastSeen).c_str(),
                static_cast<long long>(e.timesSeen), e.lastEvent.c_str());
  }
  if (entries.empty()) {
    return say(kExitFailed, "no archived patch" + (every ? "" : " of " + section) +
                                (name_.empty() ? "" : " has \"" + name_ + "\" in its name"));
  }
  if (!format) return kExitOk;
  return exportEntries(*archive, entries, choice, section, export_, *format);
}

}  // namespace banklore
