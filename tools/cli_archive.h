// banklore-cli archive: the patches the patch archive holds, one line each, newest first, and
// those that match written back into a bank file as each was last seen. It only reads: an archive
// that does not exist yet is not created.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "cli_choice.h"

namespace banklore {

class ArchiveCommand {
 public:
  // Adds the subcommand `archive` to `app`.
  explicit ArchiveCommand(CLI::App& app);
  ArchiveCommand(const ArchiveCommand&) = delete;
  ArchiveCommand& operator=(const ArchiveCommand&) = delete;

  bool chosen() const { return command_->parsed(); }
  // Exit code 0 when a patch matched, 1 when none did or the archive cannot be read, 2 for a
  // usage error.
  int run(const DefinitionChoice& choice) const;

 private:
  CLI::App* command_;
  std::string archive_;
  std::string ini_;
  std::string name_;
  std::string export_;
};

}  // namespace banklore
