// banklore-cli detect: which instrument is on which MIDI ports, found by the identity request, one
// line each for scripts and for the settings file.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace banklore {

class DetectCommand {
 public:
  explicit DetectCommand(CLI::App& app);
  bool chosen() const { return command_->parsed(); }
  // 0 when at least one answer matched a section of `idf`, else 1.
  int run(const std::string& idf) const;

 private:
  CLI::App* command_;
  int timeoutMs_;
};

}  // namespace banklore
