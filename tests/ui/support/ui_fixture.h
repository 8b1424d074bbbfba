// The window under test: a librarian started in its own empty folder, drawn by the real Qt window
// on the offscreen platform, with prompts that cancel everything and a clock whose timers tick only
// when the test moves it on; and a script that answers the modal dialogs and popups the code under
// test opens.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/support/app_fixture.h"
#include "midi/system_backend.h"
#include "support/cancelling_prompts.h"
#include "ui/main_frame.h"

namespace banklore::testing {

// Processes events until `done` holds or `timeoutMs` passes (a guard against hangs, not a time
// limit); returns whether it holds.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000);
// A fresh, empty folder for one test: BANKLORE_TEST_TMPDIR/ui/<suite>_<test>/.
std::string freshTestFolder();

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = freshTestFolder(); }
  // The librarian goes first: its destructor may still ask the window for its placement.
  void TearDown() override { app_.reset(); }

  // Starts the librarian in the test folder, initialises and shows the window.
  void start(const MainWindow::MidiBackendFactory& backend = makeNullMidiBackend);
  // How often the debug log holds `text`.
  int countInLog(const std::string& text) const;

  std::string dir_;
  CancellingPrompts prompts_;
  ManualClock clock_;
  MainFrame frame_;
  std::unique_ptr<MainWindow> app_;
};

// Steps run in order while the code under test sits in exec(): each waits for a widget of its kind
// to be the active modal (or popup) widget, then acts on it.
class ModalScript {
 public:
  ModalScript() { poll(); }
  ~ModalScript() { *alive_ = false; }

  template <typename Widget>
  ModalScript& on(std::function<void(Widget&)> action) {
    steps_.push_back({[](QWidget* w) { return qobject_cast<Widget*>(w) != nullptr; },
                      [action](QWidget* w) { action(*qobject_cast<Widget*>(w)); }});
    return *this;
  }
  bool finished() const { return steps_.empty(); }

 private:
  struct Step {
    std::function<bool(QWidget*)> matches;
    std::function<void(QWidget*)> act;
  };
  void poll();

  std::deque<Step> steps_;
  int idlePolls_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace banklore::testing
