// What banklore-cli's instrument commands (fetch, send, audition, archive) take from the command
// line, the settings and the definition file: where Banklore's files are, which instrument is
// meant, and how its section is spelled.
#pragma once

#include <optional>
#include <string>

#include "platform/file_locations.h"

namespace banklore {

// The definition the tool's common options chose.
struct DefinitionChoice {
  std::string idf;  // the file to read (it may not exist: the built-in values then apply)
  std::string instrument;
  bool instrumentGiven = false;  // else the instrument the settings name is used
};

// The places the program beside the tool uses, by the same rules.
FileLocations toolFileLocations();

// `--ini FILE` or the settings file of `files`; an error text when a file given cannot be read.
struct SettingsChoice {
  std::string file;
  std::string error;
};
SettingsChoice chooseSettings(const FileLocations& files, const std::string& ini);

// The instrument given, else the one the settings name; spelled as the definition file spells its
// section, since the archive keeps patches under that name and "virtual" must find "Virtual".
std::string chosenInstrument(const DefinitionChoice& choice, const std::string& settingsFile);

// Why the definition cannot give this instrument; nothing when it can (the built-in Nova needs no
// file).
std::optional<std::string> missingInstrument(const std::string& idf, const std::string& name);

}  // namespace banklore
