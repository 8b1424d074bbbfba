// Unsaved changes: which slots hold something not saved yet, the question before they are thrown
// away, and the recovery files that keep them when the program is ended without asking.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "app/bank_files.h"
#include "app/main_window.h"
#include "app/text_format.h"
#include "platform/atomic_file.h"
#include "platform/debug_log.h"

namespace banklore {

namespace {

constexpr std::size_t kTextCapacity = 4096;

// "Bank 1", "Bank 2" or "Bank 1 and Bank 2".
std::string bankNames(const std::vector<int>& banks) {
  std::string text;
  for (const int bank : banks) {
    if (!text.empty()) text += " and ";
    text += "Bank " + std::to_string(bank + 1);
  }
  return text;
}

}  // namespace

void MainWindow::markUnsaved(int bank, int slot) {
  if (!validBank(bank) || slot < 0) return;
  std::vector<bool>& unsaved = banks_[bank].unsaved;
  if (static_cast<std::size_t>(slot) < unsaved.size())
    unsaved[static_cast<std::size_t>(slot)] = true;
}

void MainWindow::markSaved(int bank, const std::vector<int>& slots) {
  if (!validBank(bank)) return;
  history_.noteSaved(bank);
  std::vector<bool>& unsaved = banks_[bank].unsaved;
  for (const int slot : slots) {
    if (slot >= 0 && static_cast<std::size_t>(slot) < unsaved.size()) {
      unsaved[static_cast<std::size_t>(slot)] = false;
    }
  }
}

bool MainWindow::hasUnsavedChanges(int bank) const {
  if (!validBank(bank)) return false;
  const std::vector<bool>& unsaved = banks_[bank].unsaved;
  return std::find(unsaved.begin(), unsaved.end(), true) != unsaved.end();
}

bool MainWindow::mayDiscardUnsavedChanges() {
  std::vector<int> changed;
  for (int b = 0; b < 2; ++b) {
    if (hasUnsavedChanges(b)) changed.push_back(b);
  }
  if (changed.empty()) return true;
  // A transfer left running would go on changing the banks behind the question.
  send_->stop();
  AbortRequest();
  const bool discard = prompts_.askYesNo(
      formatText(kTextCapacity, "%s %s unsaved changes. Discard them?", bankNames(changed).c_str(),
                 changed.size() == 1 ? "has" : "have"));
  // Ended (a logout) while the question was open: the changes are already kept, nothing is left
  // to do.
  return discard && !closed_;
}

void MainWindow::closeUnattended() {
  if (closed_) return;
  closed_ = true;
  saveRecoveryFiles();
  closingSteps();
  view_.endRun();
}

std::string MainWindow::recoveryPath(int bank) const {
  return folderOf(settingsPath_) + programName() + "_recovery_" +
         std::to_string(bank == 1 ? 2 : 1) + ".syx";
}

void MainWindow::saveRecoveryFiles() {
  // Nothing may change a bank while it is written.
  send_->stop();
  AbortRequest();
  for (int b = 0; b < 2; ++b) {
    if (!hasUnsavedChanges(b)) continue;
    const std::string path = recoveryPath(b);
    if (writeRecoveryFile(b)) {
      WriteLog(LogPath(), "Unsaved changes of Bank %d kept in %s\n", b + 1, path.c_str());
    } else {
      WriteLog(LogPath(), "Couldn't keep the unsaved changes of Bank %d in %s\n", b + 1,
               path.c_str());
    }
  }
}

bool MainWindow::writeRecoveryFile(int bank) {
  AtomicFile file(recoveryPath(bank));
  if (!file.open()) return false;
  // Every slot, the empty ones too, so that piece i goes back into slot i whether or not the
  // instrument's patches name their slot.
  for (const Patch& patch : banks_[bank].slots) {
    if (patch.writeTo(file.stream()) != patch.size()) return false;
  }
  return file.commit();
}

void MainWindow::scheduleRecoveryOffer() {
  std::error_code error;
  if (!std::filesystem::exists(recoveryPath(0), error) &&
      !std::filesystem::exists(recoveryPath(1), error)) {
    return;
  }
  // Asked once the event loop runs, with the window up behind the question.
  std::weak_ptr<MainWindow*> owner = alive_;
  clock_.postToUiThread([owner] {
    if (auto window = owner.lock()) (*window)->offerRecovery();
  });
}

void MainWindow::offerRecovery() {
  if (closed_ || !definition_) return;
  std::vector<int> left;
  for (int b = 0; b < 2; ++b) {
    std::error_code error;
    if (std::filesystem::exists(recoveryPath(b), error)) left.push_back(b);
  }
  if (left.empty()) return;
  const bool loadBack = prompts_.askYesNo(
      formatText(kTextCapacity, "Banklore was ended with unsaved changes in %s. Load them back?",
                 bankNames(left).c_str()));
  if (closed_) return;  // ended while asking: the files wait for the next start
  std::string failures;
  for (const int b : left) {
    const std::string path = recoveryPath(b);
    if (loadBack) {
      if (const std::string why = restoreRecoveryFile(b); !why.empty()) {
        WriteLog(LogPath(), "Couldn't load %s back: %s\n", path.c_str(), why.c_str());
        if (!failures.empty()) failures += "\n";
        failures += formatText(kTextCapacity,
                               "The unsaved changes of Bank %d could not be loaded back: %s. They "
                               "are kept in %s.",
                               b + 1, why.c_str(), path.c_str());
        continue;
      }
      SetStatus(b, "Unsaved changes loaded back.");
    }
    if (std::remove(path.c_str()) != 0) WriteLog(LogPath(), "Couldn't delete %s\n", path.c_str());
  }
  if (!failures.empty()) prompts_.message(failures);
}

std::string MainWindow::restoreRecoveryFile(int bank) {
  const std::string path = recoveryPath(bank);
  std::vector<Patch>& slots = banks_[bank].slots;
  const std::size_t patchSize = slots.empty() ? 0 : slots.front().size();
  const std::size_t expected = slots.size() * patchSize;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return "it cannot be read";
  // Written with every slot of the bank: any other size was made for another instrument.
  if (expected == 0 || size != expected) {
    return formatText(kTextCapacity, "it holds %ju bytes, not the %zu of %zu slots of %s", size,
                      expected, slots.size(), definition_->InstrumentName().c_str());
  }
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes(expected);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(expected));
  if (static_cast<std::size_t>(in.gcount()) != expected) return "it cannot be read";

  const UndoGroup step(*this, "Load Back");
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const std::span<const std::uint8_t> piece(bytes.data() + i * patchSize, patchSize);
    if (std::ranges::equal(slots[i].bytes(), piece)) continue;  // as the fresh start left it
    noteSlotChanging(bank, static_cast<int>(i));
    // The bytes as they were, neither renumbered nor stamped: an empty or damaged slot comes
    // back as it was, too.
    slots[i].loadBytes(piece);
    markUnsaved(bank, static_cast<int>(i));
    RefreshRow(bank, static_cast<int>(i));
  }
  return {};
}

}  // namespace banklore
