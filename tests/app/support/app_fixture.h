// A librarian started in its own empty temporary folder, on the in-process MIDI backend, behind a
// view that records what it is told, prompts that answer from a script and a clock whose timers
// and posted tasks run only when a test says so.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "midi/loopback_backend.h"

namespace banklore::testing {

using S = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

// A valid patch message of the test definition for `slot`: header with device byte `device`, the
// name, 11 data bytes told apart by `seed`, the checksum (sum & 7F), F7.
inline Bytes patchMessage(int slot, const std::string& name, int seed = 0,
                          std::uint8_t device = 13) {
  Bytes message = {0xF0, 0x7D, device, 0x10, std::uint8_t(slot / 16), std::uint8_t(slot % 16)};
  const std::string padded = (name + "        ").substr(0, 8);
  message.insert(message.end(), padded.begin(), padded.end());
  for (int i = 0; i < 11; ++i) message.push_back(std::uint8_t((slot * 3 + i + seed * 7) & 0x7F));
  unsigned sum = 0;
  for (std::size_t i = 6; i < message.size(); ++i) sum += message[i];
  message.push_back(std::uint8_t(sum & 0x7F));
  message.push_back(0xF7);
  return message;
}
inline std::string text(const Bytes& bytes) {
  return {bytes.begin(), bytes.end()};
}
// The same as saved by another program: another device byte and a checksum left 0, so that a
// store must stamp and checksum it.
inline std::string foreignPatch(int slot, const std::string& name, int seed = 0) {
  Bytes message = patchMessage(slot, name, seed, 0x10);
  message[25] = 0;
  return text(message);
}

struct FakeView : BankView {
  struct List {
    int rows = 0;
    std::vector<int> selection, refreshed;
    std::string status;
    std::pair<int, int> progress;                      // maximum, position
    std::vector<std::pair<int, int>> refreshedRanges;  // first and last row of each
  };
  void rebuildRows(int b, int rows) override { banks[b] = {rows, {}, {}, {}, {}, {}}; }
  void refreshRow(int b, int row) override { banks[b].refreshed.push_back(row); }
  void refreshRows(int b, int first, int last) override {
    banks[b].refreshedRanges.emplace_back(first, last);
  }
  std::vector<int> selectedRows(int b) const override { return banks[b].selection; }
  void setSelection(int b, const std::vector<int>& rows, std::optional<int>) override {
    banks[b].selection = rows;
  }
  void focusList(int b) override { focused = b; }
  void ensureRowVisible(int, int) override {}
  void setStatusText(int b, const std::string& text) override { banks[b].status = text; }
  void setProgress(int b, int maximum, int position) override {
    banks[b].progress = {maximum, position};
  }
  void beep() override { ++beeps; }
  void setWindowTitle(const std::string& text) override { title = text; }
  WindowRect windowRect() const override { return rect; }
  void setWindowRect(const WindowRect& r) override { rect = r; }
  void endRun() override { ++endRuns; }

  List banks[2];
  std::string title;
  WindowRect rect{10, 20, 630, 470};
  int focused = -1, endRuns = 0, beeps = 0;
};

// Every dialog answers from its script; an empty script cancels (a question: No).
struct FakePrompts : Prompts {
  template <class T>
  static std::optional<T> next(std::deque<std::optional<T>>& script) {
    if (script.empty()) return std::nullopt;
    auto answer = script.front();
    script.pop_front();
    return answer;
  }
  void message(const std::string& text) override { messages.push_back(text); }
  bool askYesNo(const std::string& text) override {
    questions.push_back(text);
    return next(yesNo).value_or(false);
  }
  std::optional<std::string> openFile(const FileDialogRequest& r) override {
    dialogs.push_back(r);
    return next(files);
  }
  std::optional<std::string> saveFile(const FileDialogRequest& r) override { return openFile(r); }
  std::optional<int> moveCount() override { return next(counts); }
  std::optional<std::string> rename(const std::string&) override { return next(names); }
  bool setup(SetupValues& values) override { return onSetup && onSetup(values); }
  bool chooseInstrument(const std::string& idf, const std::string& ini,
                        const std::string& running) override {
    runningShown.push_back(running);
    return onChoose && onChoose(idf, ini);
  }
  void about() override { ++abouts; }
  void archiveWindow(ArchiveBrowser& browser) override {
    if (onArchive) onArchive(browser);
  }

  S messages, questions, runningShown;
  int abouts = 0;
  std::deque<std::optional<std::string>> files, names;
  std::deque<std::optional<int>> counts;
  std::deque<std::optional<bool>> yesNo;
  std::vector<FileDialogRequest> dialogs;
  std::function<bool(SetupValues&)> onSetup;
  std::function<bool(const std::string&, const std::string&)> onChoose;
  std::function<void(ArchiveBrowser&)> onArchive;
};

// Virtual time: timers tick only when a test advances the clock; posted tasks run only when a test
// says so.
struct ManualClock : UiClock {
  std::uint32_t nowMs() const override { return now; }
  void startTimer(int id, std::uint32_t period, bool repeating,
                  std::function<void()> onTick) override {
    timers[id] = {now + period, period, repeating, std::move(onTick)};
  }
  void stopTimer(int id) override { timers.erase(id); }
  void postToUiThread(std::function<void()> task) override {
    std::lock_guard<std::mutex> lock(mutex);
    posted.push_back(std::move(task));
  }
  // Runs the tasks posted so far, in order; returns how many ran.
  int runPosted() {
    std::vector<std::function<void()>> tasks;
    std::unique_lock<std::mutex> lock(mutex);
    tasks.swap(posted);
    lock.unlock();
    for (const auto& task : tasks) task();
    return static_cast<int>(tasks.size());
  }
  // Moves time on by `ms`, running each tick that falls due on the way in time order (a one-shot
  // timer is stopped before its tick runs, as the real clock does).
  void advance(std::uint32_t ms) {
    const std::uint32_t end = now + ms;
    for (;;) {
      auto due = timers.end();
      for (auto it = timers.begin(); it != timers.end(); ++it) {
        if (it->second.due - now <= end - now &&
            (due == timers.end() || it->second.due - now < due->second.due - now))
          due = it;
      }
      if (due == timers.end()) break;
      now = due->second.due;
      const std::function<void()> tick = due->second.onTick;
      if (due->second.repeating) {
        due->second.due += std::max<std::uint32_t>(due->second.period, 1);
      } else {
        timers.erase(due);
      }
      tick();
    }
    now = end;
  }

  struct Timer {
    std::uint32_t due, period;
    bool repeating;
    std::function<void()> onTick;
  };
  std::uint32_t now = 1000;
  std::map<int, Timer> timers;
  std::mutex mutex;
  std::vector<std::function<void()>> posted;
};

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto folder = std::filesystem::path(BANKLORE_TEST_TMPDIR) / "app" /
                        (std::string(info->test_suite_name()) + "_" + info->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    dir_ = folder.string() + "/";
  }
  void TearDown() override {
    window_.reset();
    loopback::reset();
  }

  std::string path(const std::string& file) const { return dir_ + file; }
  void writeFile(const std::string& file, const std::string& text) const {
    std::ofstream(path(file), std::ios::binary) << text;
  }
  std::string readFile(const std::string& file) const {
    std::ifstream in(path(file), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  MainWindow& start(const MainWindow::MidiBackendFactory& backend = makeLoopbackBackend) {
    window_.reset();
    window_ = std::make_unique<MainWindow>(ProgramPaths{dir_, "banklore"}, backend, view_, prompts_,
                                           clock_);
    window_->initWindow();
    return *window_;
  }
  // Starts on a definition of 32 slots in two banks of 16: header f0 7d <device> 10 <bank>
  // <program>, then 19 data bytes opening with an 8-byte name, their checksum (sum & 7f) at byte
  // 25, F7 at 26. Device ID 3 is the byte 13. Slot i of bank 0 is named "a<i>", of bank 1 "b<i>"
  // (in place, so nothing is renumbered). Keys in `definition` and `settings` take the place of the
  // section's own.
  void startOnTestDefinition(const std::string& definition = "", const std::string& settings = "") {
    writeFile("banklore.idf",
              "[Test]\n" + definition +
                  "Settings=TestSynth\nNumTotalPatches=32\nNumEditablePatches=32\n"
                  "NumPatchesPerBank=16\nFooterSize=2\nDataSize=19\nRequest=f0,7d,u1,11,t1,s1,f7\n"
                  "Send=f0,7d,u1,10,t1,s1\nBankOffset=0\nPatchOffset=0\nNamePos=0\nNameLen=8\n"
                  "ChecksumType=AllDataBytes\nSendChecksumPos=-1\nBankNames=A,B\n"
                  "DeviceIDBytes=10,11,12,13,14,15\n");
    writeFile("banklore.ini",
              "[General]\nInstrument=Test\n[TestSynth]\n" + settings + "DeviceID=3\n");
    start();
    for (int b = 0; b < 2; ++b) {
      for (int i = 0; i < window_->slotCount(); ++i)
        window_->bank(b).slots[i].setName("ab"[b] + std::to_string(i));
    }
  }
  // Starts a request for slot 0 of `bank`, which nothing answers; the active bank and the lists'
  // selection stay as they were.
  void startRequestIn(int bank) {
    const int active = window_->activeBank();
    const auto selection = view_.banks[bank].selection;
    select(bank, {0});
    window_->requestSelected();
    ASSERT_TRUE(window_->request().requestActive);
    view_.banks[bank].selection = selection;
    window_->setActiveBank(active);
  }
  void select(int bank, const std::vector<int>& slots) {
    window_->setActiveBank(bank);
    view_.banks[bank].selection = slots;
  }
  // Hands what the MIDI side posted so far to the window, as the UI thread would.
  void deliver() {
    do ASSERT_TRUE(loopback::waitUntilIdle());
    while (clock_.runPosted() > 0);
  }
  void play(const char* port, const Bytes& message) {
    ASSERT_TRUE(loopback::inject(port, message));
    deliver();
  }
  Bytes slotBytes(int bank, int slot) const {
    const auto bytes = window_->bank(bank).slots[static_cast<std::size_t>(slot)].bytes();
    return Bytes(bytes.begin(), bytes.end());
  }
  std::string slotText(int bank, int slot) const { return text(slotBytes(bank, slot)); }
  // Puts a valid patch named "p<slot>" from another device into each slot of bank 0.
  void fill(std::initializer_list<int> slots) {
    for (const int slot : slots) {
      ASSERT_TRUE(window_->bank(0).slots[static_cast<std::size_t>(slot)].loadBytes(
          patchMessage(slot, "p" + std::to_string(slot), slot, 0x10)));
    }
  }
  // Every slot of both banks, byte for byte.
  std::vector<Bytes> banks() const {
    std::vector<Bytes> all;
    for (int b = 0; b < 2; ++b) {
      for (int i = 0; i < window_->slotCount(); ++i) all.push_back(slotBytes(b, i));
    }
    return all;
  }
  // Which banks hold unsaved changes, "10" for bank 1 alone.
  std::string changed() const {
    return {window_->hasUnsavedChanges(0) ? '1' : '0', window_->hasUnsavedChanges(1) ? '1' : '0'};
  }
  int logCount(const std::string& text) const {
    const std::string log = readFile("banklore_Debug.txt");
    int count = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
  }
  bool logged(const std::string& text) const { return logCount(text) > 0; }
  std::string slotName(int bank, int slot) const {
    std::string text = window_->name(bank, slot);
    return text.erase(text.find_last_not_of(' ') + 1);
  }

  std::string dir_;
  FakeView view_;
  FakePrompts prompts_;
  ManualClock clock_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace banklore::testing
