#include "app/command_line.h"

#include "app/bank_files.h"

namespace banklore {

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine result;
  bool help = false;
  bool version = false;
  bool optionsEnded = false;
  for (const std::string& argument : arguments) {
    if (!optionsEnded && argument.size() > 1 && argument.front() == '-') {
      if (argument == "--") {
        optionsEnded = true;
      } else if (argument == "--help" || argument == "-h") {
        help = true;
      } else if (argument == "--version") {
        version = true;
      } else if (result.error.empty()) {
        result.error = "unknown option " + argument;
      }
      continue;
    }
    // As a drop would: only what the file name says is a bank file is loaded.
    (bankFileKindOf(argument) == BankFileKind::None ? result.ignored : result.files)
        .push_back(argument);
  }
  if (help) {
    result.action = CommandLine::Action::Help;
  } else if (version) {
    result.action = CommandLine::Action::Version;
  } else if (!result.error.empty()) {
    result.action = CommandLine::Action::Error;
  }
  return result;
}

const char* commandLineUsage() {
  return "Usage: banklore [FILE...]\n"
         "A librarian for the sound patches of hardware synthesizers.\n"
         "Each .syx or .mid FILE is loaded into Bank 1, in the order given.\n"
         "\n"
         "  -h, --help   print this help and exit\n"
         "  --version    print the version and exit\n"
         "  --           end of options: every word after it is a file\n"
         "\n"
         "Qt's own options (such as -platform or -style) are understood too.\n";
}

}  // namespace banklore
