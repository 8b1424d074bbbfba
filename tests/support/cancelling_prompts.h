// Prompts for tests and benchmarks that never expect a dialog: every dialog is cancelled and every
// question answered No.
#pragma once

#include "app/prompts.h"

namespace banklore {

struct CancellingPrompts : Prompts {
  void message(const std::string&) override {}
  bool askYesNo(const std::string&) override { return false; }
  std::optional<std::string> openFile(const FileDialogRequest&) override { return {}; }
  std::optional<std::string> saveFile(const FileDialogRequest&) override { return {}; }
  std::optional<int> moveCount() override { return {}; }
  std::optional<std::string> rename(const std::string&) override { return {}; }
  bool setup(SetupValues&) override { return false; }
  bool chooseInstrument(const std::string&, const std::string&, const std::string&) override {
    return false;
  }
  void about() override {}
  void archiveWindow(ArchiveBrowser&) override {}
};

}  // namespace banklore
