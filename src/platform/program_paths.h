// Where the program's own files live: beside the running executable.
#pragma once

#include <string>

namespace banklore {

struct ProgramPaths {
  std::string dir;   // directory of the executable with its trailing separator; case kept
  std::string name;  // file name without extension
};

// Splits an executable path into directory and base name ("/opt/Bank/banklore" -> "/opt/Bank/",
// "banklore"). A path without a separator gives an empty directory.
ProgramPaths programPathsFrom(const std::string& executablePath);

// Path of the running executable (/proc/self/exe on Linux); empty when it cannot be found.
std::string currentExecutablePath();

}  // namespace banklore
