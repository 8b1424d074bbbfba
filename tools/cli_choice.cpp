#include "cli_choice.h"

#include "app/settings_defaults.h"
#include "platform/profile.h"
#include "platform/regular_file.h"

namespace banklore {
namespace {

constexpr std::size_t kInstrumentCapacity = 2047;

bool readable(const std::string& path) {
  return openRegularForReading(path) != nullptr;
}

}  // namespace

FileLocations toolFileLocations() {
  const ProgramPaths tool = programPathsFrom(currentExecutablePath());
  return currentFileLocations({tool.dir, "banklore"});
}

SettingsChoice chooseSettings(const FileLocations& files, const std::string& ini) {
  if (ini.empty()) return {files.settingsFile, {}};
  if (!readable(ini)) return {ini, "cannot read the settings file " + ini};
  return {ini, {}};
}

std::string chosenInstrument(const DefinitionChoice& choice, const std::string& settingsFile) {
  const std::string name = choice.instrumentGiven
                               ? choice.instrument
                               : readText(settingsFile, "General", "Instrument",
                                          defaults::kInstrument, kInstrumentCapacity);
  if (readable(choice.idf)) {
    for (const std::string& section : sectionNames(choice.idf)) {
      if (equalsIgnoringCase(section, name)) return section;
    }
  }
  return equalsIgnoringCase(name, defaults::kInstrument) ? defaults::kInstrument : name;
}

std::optional<std::string> missingInstrument(const std::string& idf, const std::string& name) {
  const bool fileThere = readable(idf);
  if (fileThere) {
    for (const std::string& section : sectionNames(idf)) {
      if (equalsIgnoringCase(section, name)) return std::nullopt;
    }
  }
  if (equalsIgnoringCase(name, defaults::kInstrument)) return std::nullopt;
  if (!fileThere) return "no definition file (" + idf + ") for instrument " + name;
  return "no section [" + name + "] in " + idf;
}

}  // namespace banklore
