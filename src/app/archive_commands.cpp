// The archive in the window: what each command saw goes in, and "Archive..." shows the running
// instrument's archived patches, puts them into the selected slots or saves them to a file.
#include <string>
#include <utility>
#include <vector>

#include "app/bank_files.h"
#include "app/main_window.h"
#include "app/transfer_view.h"
#include "platform/debug_log.h"

namespace banklore {

void MainWindow::noteInArchive(int bank, std::span<const SeenSlot> seen, ArchiveAction action,
                               const std::string& file) {
  if (!definition_) return;
  archive_->note(*definition_, seen, action, file);
  if (archiveProblem_.empty() || !validBank(bank)) return;
  // After the command's own words, which stay readable before it.
  const std::string said = banks_[bank].statusText;
  SetStatus(bank, "%s%s%s", said.c_str(), said.empty() ? "" : " ", archiveProblem_.c_str());
  tellArchiveMovedAside();
}

void MainWindow::tellArchiveMovedAside() {
  const std::string text = std::exchange(archiveProblem_, {});
  // The old archive is still the user's: where it went deserves a box, not only a status line.
  if (!archive_->movedAside().empty() && !archiveMoveTold_) {
    archiveMoveTold_ = true;
    prompts_.message(text);
  }
}

void MainWindow::noteSlotsInArchive(int bank, const std::vector<int>& slots, ArchiveAction action,
                                    const std::string& file) {
  std::vector<SeenSlot> seen;
  for (const int slot : slots) {
    if (!validSlot(bank, slot)) continue;
    const bool named = action == ArchiveAction::Fetched || action == ArchiveAction::Sent;
    seen.push_back({banks_[bank].slots[static_cast<std::size_t>(slot)].bytes(), named ? slot : -1});
  }
  noteInArchive(bank, seen, action, file);
}

void MainWindow::archiveTransfer(TransferView& view) {
  if (view.seen.empty()) return;
  const std::vector<int> seen = std::exchange(view.seen, {});
  noteSlotsInArchive(view.bank, seen,
                     &view == sendView_.get() ? ArchiveAction::Sent : ArchiveAction::Fetched);
}

class MainWindow::ArchiveWindow : public ArchiveBrowser {
 public:
  explicit ArchiveWindow(MainWindow& window) : window_(window) {}

  std::vector<ArchiveEntry> entries() override {
    PatchArchive* archive = window_.archive_->archive();
    window_.showArchiveProblem();
    return archive ? archive->entries(window_.definition_->InstrumentName())
                   : std::vector<ArchiveEntry>{};
  }
  std::vector<ArchiveEvent> history(std::int64_t id) override {
    PatchArchive* archive = window_.archive_->archive();
    return archive ? archive->history(id) : std::vector<ArchiveEvent>{};
  }
  void loadToSelectedSlots(const std::vector<std::int64_t>& ids) override {
    const int bank = window_.activeBank_;
    const std::vector<int> slots = window_.selectedSlots(bank);
    const UndoGroup step(window_, stepNameOf(CommandId::LoadToSelected));
    long loaded = 0;
    for (std::size_t i = 0; i < ids.size() && i < slots.size(); ++i) {
      Patch patch(*window_.definition_);
      if (!patch.loadBytes(lastMessage(ids[i]))) continue;  // gone, or not this instrument's
      window_.StoreToSlot(bank, slots[i], patch, true);
      ++loaded;
    }
    window_.SetStatus(bank, "%ld patches loaded from the archive.", loaded);
  }
  void saveToFile(const std::vector<std::int64_t>& ids) override {
    const int bank = window_.activeBank_;
    std::vector<Patch> patches;
    for (const std::int64_t id : ids) {
      Patch patch(*window_.definition_);
      if (patch.loadBytes(lastMessage(id))) patches.push_back(std::move(patch));
    }
    // Nothing readable must not replace a file the user chose with an empty one.
    if (patches.empty()) {
      if (!ids.empty()) window_.SetStatus(bank, "The archive gave back no patch to save.");
      return;
    }
    if (!window_.AskSaveFile(bank)) return;
    const std::string path = window_.banks_[bank].lastFile;
    const BankFileKind kind = bankFileKindOf(path);
    if (kind == BankFileKind::None) return;
    std::vector<const Patch*> order;
    std::vector<SeenSlot> seen;
    for (const Patch& patch : patches) {
      order.push_back(&patch);
      seen.push_back({patch.bytes(), -1});
    }
    const BankFormat format = kind == BankFileKind::Mid ? BankFormat::Mid : BankFormat::Syx;
    if (writeBankPatches(path, format, order).problem != BankWriteProblem::None) {
      window_.reportSaveFailure(bank);
      return;
    }
    window_.SetStatus(bank, "%ld patches from the archive saved to %s.",
                      static_cast<long>(order.size()), path.c_str());
    window_.noteInArchive(bank, seen, ArchiveAction::Saved, path);
  }

 private:
  std::vector<std::uint8_t> lastMessage(std::int64_t id) {
    PatchArchive* archive = window_.archive_->archive();
    return archive ? archive->lastMessage(id) : std::vector<std::uint8_t>{};
  }

  MainWindow& window_;
};

void MainWindow::showArchiveProblem() {
  if (archiveProblem_.empty()) return;
  SetStatus(activeBank_, "%s", archiveProblem_.c_str());
  tellArchiveMovedAside();
}

void MainWindow::archiveCommand() {
  WriteLog(LogPath(), "Showing the archive\n");
  if (archive_->path().empty()) {
    SetStatus(activeBank_, "The patch archive is off (Archive=0 in the settings).");
    return;
  }
  ArchiveWindow window(*this);
  prompts_.archiveWindow(window);
}

}  // namespace banklore
