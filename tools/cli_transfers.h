// banklore-cli ports, fetch, send and audition: the window's request and send engines and its
// audition driven from the command line, for scripted backups; fetch and send note in the patch
// archive what they saw, as the window does. Registered on the tool's CLI11 app;
// run once it has parsed.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "cli_choice.h"

namespace banklore {

class TransferCommands {
 public:
  // Adds the subcommands `ports`, `fetch`, `send` and `audition` to `app`.
  explicit TransferCommands(CLI::App& app);
  TransferCommands(const TransferCommands&) = delete;
  TransferCommands& operator=(const TransferCommands&) = delete;

  // Whether the parsed command line chose one of them.
  bool chosen() const;
  // Runs the chosen one: exit code 0 when everything was transferred, 1 when something was not (or
  // input or output failed), 2 for a usage error.
  int run(const DefinitionChoice& definition);

  struct Options {
    std::string in;
    std::string out;
    std::string slots;
    int device = 0;
    int delay = 0;
    std::string ini;
    std::string log;
    std::string archive;  // --archive: another archive file than the settings' own
    bool verbose = false;
    std::string file;
    std::string slot;  // audition's: a label or a number
  };

 private:
  CLI::App* ports_;
  CLI::App* fetch_;
  CLI::App* send_;
  CLI::App* audition_;
  Options options_;
};

}  // namespace banklore
