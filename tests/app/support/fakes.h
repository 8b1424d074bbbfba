// Test doubles of the librarian's seams: a view that records what it was told, prompts that answer
// from a script, a manual clock, and a MIDI backend without ports.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/bank_view.h"
#include "app/prompts.h"
#include "app/ui_clock.h"
#include "midi/midi_backend.h"

namespace banklore::testing {

class FakeView : public BankView {
 public:
  struct BankState {
    int rows = 0;
    int rebuilds = 0;
    std::vector<int> selection;
    std::optional<int> focusRow;
    std::vector<int> refreshed;  // rows refreshed since the last clearRefreshed
    std::vector<int> ensuredVisible;
    std::string status;
    std::vector<std::string> statusHistory;  // each change of the status text, in order
    int progressMaximum = -1;
    int progressPosition = -1;
  };

  void rebuildRows(int bank, int rowCount) override;
  void refreshRow(int bank, int row) override { banks[bank].refreshed.push_back(row); }
  std::vector<int> selectedRows(int bank) const override { return banks[bank].selection; }
  void setSelection(int bank, const std::vector<int>& rows, std::optional<int> focusRow) override;
  void focusList(int bank) override { focusedList = bank; }
  void ensureRowVisible(int bank, int row) override { banks[bank].ensuredVisible.push_back(row); }
  void setStatusText(int bank, const std::string& text) override;
  void setProgress(int bank, int maximum, int position) override;
  void setWindowTitle(const std::string& text) override { title = text; }
  WindowRect windowRect() const override { return rect; }
  void setWindowRect(const WindowRect& r) override;
  void endRun() override { ++endRuns; }

  void select(int bank, std::vector<int> rows) { banks[bank].selection = std::move(rows); }
  void clearRefreshed() {
    banks[0].refreshed.clear();
    banks[1].refreshed.clear();
  }

  BankState banks[2];
  std::string title;
  WindowRect rect{10, 20, 630, 470};
  int placements = 0;
  int focusedList = -1;
  int endRuns = 0;
};

class FakePrompts : public Prompts {
 public:
  void message(const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  // File dialogs answer from their scripts; an empty script cancels.
  std::optional<std::string> openFile(const FileDialogRequest& request) override;
  std::optional<std::string> saveFile(const FileDialogRequest& request) override;
  std::optional<int> moveCount() override;
  std::optional<std::string> rename(const std::string& initialName) override;
  bool setup(SetupValues&) override { return false; }
  bool chooseInstrument(const std::string&, const std::string&) override { return false; }
  void about() override {}

  std::vector<std::string> messages;
  std::function<void(const std::string&)> onMessage;  // called as each message box is shown
  std::deque<std::optional<std::string>> openAnswers;
  std::deque<std::optional<std::string>> saveAnswers;
  std::vector<FileDialogRequest> openRequests;
  std::vector<FileDialogRequest> saveRequests;
  std::vector<std::string> questions;
  std::deque<bool> yesNoAnswers;
  std::deque<std::optional<int>> moveAnswers;
  int moveAsked = 0;
  std::deque<std::optional<std::string>> renameAnswers;
  std::vector<std::string> renameAsked;  // the initial names shown, in order
};

// Virtual time: nothing happens until advance() or runPosted() is called.
class ManualClock : public UiClock {
 public:
  std::uint32_t nowMs() const override { return now_; }
  void startTimer(int id, std::uint32_t periodMs, bool repeating,
                  std::function<void()> onTick) override;
  void stopTimer(int id) override { timers_.erase(id); }
  void postToUiThread(std::function<void()> task) override;

  // Moves time forward 1 ms at a time, running due timers in id order.
  void advance(std::uint32_t ms);
  // Runs the tasks posted so far (and those they post), in order; returns how many ran.
  int runPosted();
  bool timerRunning(int id) const { return timers_.count(id) != 0; }

 private:
  struct Timer {
    std::uint32_t period;
    bool repeating;
    std::uint32_t due;
    std::function<void()> onTick;
  };
  std::uint32_t now_ = 1000;
  std::map<int, Timer> timers_;
  std::mutex postedMutex_;
  std::deque<std::function<void()>> posted_;
};

// A system with no MIDI ports at all.
class NoPortsBackend : public MidiBackend {
 public:
  std::vector<std::string> inputNames() override { return {}; }
  std::vector<std::string> outputNames() override { return {}; }
  bool openInput(std::size_t, InputHandler, ErrorHandler) override { return false; }
  void closeInput() override {}
  bool openOutput(std::size_t) override { return false; }
  void closeOutput() override {}
  bool isOutputOpen() const override { return false; }
  bool send(std::span<const std::uint8_t>) override { return false; }
};

}  // namespace banklore::testing
