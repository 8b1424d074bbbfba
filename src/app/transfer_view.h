// How the window shows a transfer: in the bank it works on, through the window's status helpers,
// rows, beep and message boxes. Private to the window's own files.
#pragma once

#include <string>
#include <vector>

#include "app/main_window.h"

namespace banklore {

class MainWindow::TransferView : public TransferObserver {
 public:
  explicit TransferView(MainWindow& window) : window_(window) {}

  int bank = 0;

  void showStatus(const std::string& text) override {
    window_.bank(bank).statusText = text;
    window_.pushStatusTexts();
  }
  void finishStatus(const std::string& text) override {
    window_.SetStatus(bank, "%s", text.c_str());
    window_.settleRequestStep();  // a request that ended by itself is one undo step now
    window_.archiveTransfer(*this);
  }
  void beginProgress(const std::string& text, int count) override {
    window_.BeginProgress(bank, text, count);
  }
  void stepProgress() override { window_.StepProgress(bank); }
  void slotChanged(int slot, bool reveal) override {
    window_.RefreshRow(bank, slot);
    if (reveal) window_.view_.ensureRowVisible(bank, slot);
  }
  void patchStored(int slot) override {
    window_.markUnsaved(bank, slot);
    seen.push_back(slot);
  }
  void patchSent(int slot) override { seen.push_back(slot); }

  // The slots fetched or sent since the transfer began, for the archive.
  std::vector<int> seen;
  void beep() override { window_.view_.beep(); }
  void message(const std::string& text) override { window_.prompts_.message(text); }
  bool stopWanted() override { return window_.stopKeyDown_ || window_.stopKeyPressed_; }

 private:
  MainWindow& window_;
};

}  // namespace banklore
