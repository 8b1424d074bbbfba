// The librarian's questions as Qt dialogs, each modal and centred over the main window.
#pragma once

#include <QWidget>

#include "app/prompts.h"

namespace banklore {

class QtPrompts : public Prompts {
 public:
  static constexpr const char* kCaption = "Banklore";

  explicit QtPrompts(QWidget& owner) : owner_(owner) {}

  void message(const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  std::optional<std::string> openFile(const FileDialogRequest& request) override;
  std::optional<std::string> saveFile(const FileDialogRequest& request) override;
  std::optional<int> moveCount() override;
  std::optional<std::string> rename(const std::string& initialName) override;
  bool setup(SetupValues& values) override;
  bool chooseInstrument(const std::string& definitionPath, const std::string& settingsPath,
                        const std::string& runningInstrument) override;
  void about() override;
  void archiveWindow(ArchiveBrowser& browser) override;

 private:
  QWidget& owner_;
};

}  // namespace banklore
