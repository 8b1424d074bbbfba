// The bank-file commands: choosing the format from the name, the file dialogs with their
// remembered folder and file, the overwrite question, the command handlers and dropped files.
#include "app/bank_files.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/text_format.h"

namespace banklore {

namespace {

constexpr std::size_t kQuestionCapacity = 2048;

std::string lowerCased(std::string text) {
  // ASCII only: paths are 8-bit text and no locale may change how they compare.
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

FileDialogRequest dialogRequest(const Bank& bank, const char* title) {
  FileDialogRequest request;
  request.title = title;
  request.filters = bankFileFilters();
  request.initialFolder = bank.lastPath;
  request.initialFile = bank.lastFile;
  request.defaultExtension = "mid";
  return request;
}

// Anything at that path, even a dangling link or a file this user cannot read, would be replaced
// by the save, so each of them is asked about.
bool somethingExistsAt(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

BankFileKind bankFileKindOf(const std::string& path) {
  const std::string lower = lowerCased(path);
  if (lower.find(".syx") != std::string::npos) return BankFileKind::Syx;
  if (lower.find(".mid") != std::string::npos) return BankFileKind::Mid;
  return BankFileKind::None;
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::vector<FileFilter> bankFileFilters() {
  return {
      {"Midi Files (*.mid)", "*.mid"}, {"SYX Files (*.syx)", "*.syx"}, {"All Files (*.*)", "*.*"}};
}

void MainWindow::registerBankFileCommands() {
  setCommandHandler(CommandId::Load, [this](int) { loadFileCommand(activeBank_, false); });
  setCommandHandler(CommandId::LoadToSelected, [this](int k) {
    if (k > 0) loadFileCommand(activeBank_, true);
  });
  setCommandHandler(CommandId::SaveSelected, [this](int k) {
    if (k > 0) saveFileCommand(activeBank_);
  });
}

void MainWindow::rememberChosenFile(int bank, const std::string& path) {
  if (!validBank(bank)) return;
  // Kept as chosen: on a case-sensitive file system another case names another file.
  banks_[bank].lastFile = path;
  const std::string folder = folderOf(path);
  if (!folder.empty()) banks_[bank].lastPath = folder;
}

bool MainWindow::AskLoadFile(int bank) {
  if (!validBank(bank)) return false;
  const std::optional<std::string> chosen =
      prompts_.openFile(dialogRequest(banks_[bank], "Load patches"));
  if (!chosen) return false;
  rememberChosenFile(bank, *chosen);
  return true;
}

bool MainWindow::AskSaveFile(int bank) {
  if (!validBank(bank)) return false;
  const std::optional<std::string> chosen =
      prompts_.saveFile(dialogRequest(banks_[bank], "Save Selected patches"));
  if (!chosen) return false;
  rememberChosenFile(bank, *chosen);
  if (!somethingExistsAt(*chosen)) return true;
  return prompts_.askYesNo(formatText(
      kQuestionCapacity, "File %s already exists. Do you want to overwrite it?", chosen->c_str()));
}

void MainWindow::loadFileCommand(int bank, bool intoSelection) {
  if (!AskLoadFile(bank)) return;
  const std::string path = banks_[bank].lastFile;
  switch (bankFileKindOf(path)) {
    case BankFileKind::Syx:
      intoSelection ? LoadSyxIntoSelection(path, bank) : LoadSyxIntoBank(path, bank);
      return;
    case BankFileKind::Mid:
      intoSelection ? LoadMidIntoSelection(path, bank) : LoadMidIntoBank(path, bank);
      return;
    case BankFileKind::None:
      return;
  }
}

void MainWindow::saveFileCommand(int bank) {
  if (!AskSaveFile(bank)) return;
  const std::string path = banks_[bank].lastFile;
  switch (bankFileKindOf(path)) {
    case BankFileKind::Syx:
      SaveSelectionAsSyx(path, bank);
      return;
    case BankFileKind::Mid:
      SaveSelectionAsMid(path, bank);
      return;
    case BankFileKind::None:
      return;
  }
}

void MainWindow::onFilesDropped(int bank, const std::vector<std::string>& paths) {
  if (sending()) return;  // a send reads the bank that the files would change
  AbortRequest();
  if (!validBank(bank)) return;
  const UndoGroup step(*this, "Drop");  // every file of one drop is one step
  for (const std::string& path : paths) {
    const BankFileKind kind = bankFileKindOf(path);
    if (kind == BankFileKind::None) continue;  // not a bank file: not chosen, not remembered
    rememberChosenFile(bank, path);
    if (kind == BankFileKind::Syx) {
      LoadSyxIntoBank(path, bank);
    } else {
      LoadMidIntoBank(path, bank);
    }
  }
}

}  // namespace banklore
