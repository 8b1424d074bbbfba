// The window under test: a librarian started in its own empty folder, drawn by the real Qt window
// on the offscreen platform, with prompts that cancel everything instead of opening dialogs.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <functional>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "ui/main_frame.h"
#include "ui/qt_ui_clock.h"

namespace banklore::testing {

// Processes events until `done` holds or `timeoutMs` passes; returns whether it holds.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 2000);

// A fresh, empty folder for one test: BANKLORE_TEST_TMPDIR/ui/<suite>_<test>/.
std::string freshTestFolder();
std::string readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const std::string& bytes);

class CancellingPrompts : public Prompts {
 public:
  void message(const std::string&) override {}
  bool askYesNo(const std::string&) override { return false; }
  std::optional<std::string> openFile(const FileDialogRequest&) override { return {}; }
  std::optional<std::string> saveFile(const FileDialogRequest&) override { return {}; }
  std::optional<int> moveCount() override { return {}; }
  std::optional<std::string> rename(const std::string&) override { return {}; }
  bool setup(SetupValues&) override { return false; }
  bool chooseInstrument(const std::string&, const std::string&) override { return false; }
  void about() override {}
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = freshTestFolder(); }
  // The librarian goes first: its destructor may still ask the window for its placement.
  void TearDown() override { app_.reset(); }

  // Starts the librarian in the test folder, initialises and shows the window.
  void start();
  // How often the debug log holds `text`.
  int countInLog(const std::string& text) const;

  std::string dir_;
  CancellingPrompts prompts_;
  QtUiClock clock_;
  MainFrame frame_;
  std::unique_ptr<MainWindow> app_;
};

}  // namespace banklore::testing
