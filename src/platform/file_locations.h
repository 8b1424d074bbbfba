// Where the program keeps its settings and its log and where it reads its instrument definitions:
// beside itself when it runs from a folder it may write (a build folder, an unpacked archive, a USB
// stick), in the places the XDG base directory rules give when it is installed.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/program_paths.h"

namespace banklore {

// Everything the choice depends on. currentLocationInputs() gathers it from the running system.
struct LocationInputs {
  ProgramPaths program;  // the program's folder (with its trailing '/') and base name
  bool programDirWritable = false;
  // Environment variables as set; empty when unset. Relative paths count as unset.
  std::string home;
  std::string xdgConfigHome;
  std::string xdgStateHome;
  std::string xdgDataHome;
  // Whether a file can be read at the path.
  std::function<bool(const std::string&)> readable;
};

struct FileLocations {
  FileLocations() = default;
  // Everything beside the program, as in a build folder (and in tests that start the window in a
  // folder of their own).
  FileLocations(const ProgramPaths& program);  // NOLINT(google-explicit-constructor)

  ProgramPaths program;
  bool besideProgram = true;   // false: the user's XDG folders
  std::string settingsFolder;  // with trailing '/'; holds the settings file
  std::string settingsFile;
  std::string logFolder;  // with trailing '/'; holds the debug log
  std::string logFile;
  // The definition file to read. It may not exist; the built-in values then apply.
  std::string definitionFile;
  // Where the file dialogs open before the user chose a folder.
  std::string startFolder;
  // The archive of every patch seen: banklore_archive.sqlite beside the program, or
  // $XDG_DATA_HOME/banklore/archive.sqlite (default ~/.local/share/banklore/). Its folder may not
  // exist yet.
  std::string archiveFile;
};

// The folder an installed copy keeps its data in: "<prefix>/share/banklore/" for a program in
// "<prefix>/bin/"; nothing for a program anywhere else.
std::optional<std::string> installedDataFolder(const ProgramPaths& program);

// The decision, from nothing but its inputs:
// - An installed copy (in <prefix>/bin with <prefix>/share/banklore/<name>.idf beside it) and a
//   program in a folder it may not write keep settings in $XDG_CONFIG_HOME/banklore/ (default
//   ~/.config/banklore/) and the log in $XDG_STATE_HOME/banklore/ (default
//   ~/.local/state/banklore/), the archive in $XDG_DATA_HOME/banklore/ (default
//   ~/.local/share/banklore/), and read the user's $XDG_CONFIG_HOME/banklore/<name>.idf, else the
//   one beside the program, else the installed one. Without any home folder the settings and the
//   log stay beside the program.
// - Any other program keeps both beside itself and reads the definition file beside itself, else
//   the user's, else the installed one.
FileLocations chooseFileLocations(const LocationInputs& inputs);

// The inputs of the running process: access(2) for the folder, getenv, the password database
// when HOME is unset.
LocationInputs currentLocationInputs(const ProgramPaths& program);
inline FileLocations currentFileLocations(const ProgramPaths& program) {
  return chooseFileLocations(currentLocationInputs(program));
}

// Creates the folder and its missing parents (mode 0700, as the XDG rules ask) and checks that
// files can be made in it. Nothing when they can; otherwise the reason, e.g. "Permission denied".
std::optional<std::string> prepareFolder(const std::string& folder);

}  // namespace banklore
