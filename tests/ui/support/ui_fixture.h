// The window under test: a librarian started in its own empty folder, drawn by the real Qt window
// on the offscreen platform, with prompts that answer from a script instead of opening dialogs.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "ui/main_frame.h"
#include "ui/qt_ui_clock.h"

namespace banklore::testing {

// The one QApplication of the test program (made by its main, on the offscreen platform unless
// another is chosen).
QApplication& qtApplication();

// Processes events until `done` holds or `timeoutMs` passes; returns whether it holds.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 2000);

// A fresh, empty folder for one test: BANKLORE_TEST_TMPDIR/ui/<suite>_<test>/.
std::string freshTestFolder();
std::string readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const std::string& bytes);

class ScriptedPrompts : public Prompts {
 public:
  void message(const std::string& text) override { messages.push_back(text); }
  bool askYesNo(const std::string&) override { return false; }
  std::optional<std::string> openFile(const FileDialogRequest&) override;
  std::optional<std::string> saveFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<int> moveCount() override;
  std::optional<std::string> rename(const std::string&) override { return std::nullopt; }
  bool setup(SetupValues&) override { return false; }
  bool chooseInstrument(const std::string&, const std::string&) override { return false; }
  void about() override {}

  std::vector<std::string> messages;
  std::deque<std::string> openAnswers;
  std::deque<int> moveAnswers;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the librarian in the test folder, initialises and shows the window.
  void start();
  std::string log() const { return readWholeFile(dir_ + "banklore_Debug.txt"); }
  int countInLog(const std::string& text) const;

  std::string dir_;
  ScriptedPrompts prompts_;
  std::unique_ptr<QtUiClock> clock_;
  std::unique_ptr<MainFrame> frame_;
  std::unique_ptr<MainWindow> app_;
};

}  // namespace banklore::testing
