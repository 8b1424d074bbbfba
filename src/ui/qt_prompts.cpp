#include "ui/qt_prompts.h"

#include <QMessageBox>

#include "ui/about_dialog.h"
#include "ui/archive_dialog.h"
#include "ui/display_text.h"
#include "ui/file_dialogs.h"
#include "ui/instrument_chooser_dialog.h"
#include "ui/move_dialog.h"
#include "ui/rename_dialog.h"
#include "ui/setup_dialog.h"

namespace banklore {

void QtPrompts::message(const std::string& text) {
  QMessageBox::information(&owner_, QString::fromLatin1(kCaption), displayText(text));
}

bool QtPrompts::askYesNo(const std::string& text) {
  return QMessageBox::question(&owner_, QString::fromLatin1(kCaption), displayText(text),
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::Yes) == QMessageBox::Yes;
}

std::optional<std::string> QtPrompts::openFile(const FileDialogRequest& request) {
  return runFileDialog(&owner_, request, FileDialogMode::Open);
}

std::optional<std::string> QtPrompts::saveFile(const FileDialogRequest& request) {
  return runFileDialog(&owner_, request, FileDialogMode::Save);
}

std::optional<int> QtPrompts::moveCount() {
  MoveDialog dialog(&owner_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.moveCount();
}

std::optional<std::string> QtPrompts::rename(const std::string& initialName) {
  RenameDialog dialog(nameText(initialName), &owner_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return nameBytes(dialog.newName());
}

bool QtPrompts::setup(SetupValues& values) {
  SetupDialog dialog(values, &owner_);
  if (dialog.exec() != QDialog::Accepted) return false;
  values = dialog.chosen();
  return true;
}

bool QtPrompts::chooseInstrument(const std::string& definitionPath, const std::string& settingsPath,
                                 const std::string& runningInstrument) {
  InstrumentChooserDialog dialog(definitionPath, settingsPath, runningInstrument, &owner_);
  return dialog.exec() == QDialog::Accepted;
}

void QtPrompts::about() {
  AboutDialog dialog(&owner_);
  dialog.exec();
}

void QtPrompts::archiveWindow(ArchiveBrowser& browser) {
  ArchiveDialog dialog(browser, &owner_);
  dialog.exec();
}

}  // namespace banklore
