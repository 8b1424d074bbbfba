// What `banklore` makes of its command line (after Qt took its own options): bank files to load
// into Bank 1, or a request for the usage or the version.
#pragma once

#include <string>
#include <vector>

namespace banklore {

struct CommandLine {
  enum class Action { Run, Help, Version, Error };
  Action action = Action::Run;
  std::vector<std::string> files;    // .syx and .mid files, in the order given
  std::vector<std::string> ignored;  // other arguments that are not options: not bank files
  std::string error;                 // for Error: what was wrong
};

// `arguments` come without the program's name. Before "--", "--help" (or "-h") wins over
// "--version", which wins over an unknown option (any other word that starts with '-'); after it,
// every word is a file.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The usage text for --help and after a usage error.
const char* commandLineUsage();

}  // namespace banklore
