#include "ui/qt_prompts.h"

#include <QMessageBox>

#include "ui/display_text.h"
#include "ui/file_dialogs.h"
#include "ui/move_dialog.h"
#include "ui/rename_dialog.h"

namespace banklore {

namespace {

void notYetAvailable(QWidget& owner, const char* what) {
  QMessageBox::information(
      &owner, QString::fromLatin1(QtPrompts::kCaption),
      QString::fromLatin1(what) + QStringLiteral(" is not available yet in this version."));
}

}  // namespace

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

bool QtPrompts::setup(SetupValues&) {
  notYetAvailable(owner_, "Instrument Setup");
  return false;
}

bool QtPrompts::chooseInstrument(const std::string&, const std::string&) {
  notYetAvailable(owner_, "Choosing the instrument");
  return false;
}

void QtPrompts::about() {
  notYetAvailable(owner_, "The About box");
}

}  // namespace banklore
