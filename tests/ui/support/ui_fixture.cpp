#include "ui/support/ui_fixture.h"

#include <QElapsedTimer>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "midi/system_backend.h"

namespace banklore::testing {

QApplication& qtApplication() {
  return *qobject_cast<QApplication*>(QCoreApplication::instance());
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QTest::qSleep(1);
  }
  return true;
}

std::string freshTestFolder() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "_" + info->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  const std::filesystem::path folder = std::filesystem::path(BANKLORE_TEST_TMPDIR) / "ui" / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder.string() + "/";
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::optional<std::string> ScriptedPrompts::openFile(const FileDialogRequest&) {
  if (openAnswers.empty()) return std::nullopt;
  std::string answer = openAnswers.front();
  openAnswers.pop_front();
  return answer;
}

std::optional<int> ScriptedPrompts::moveCount() {
  if (moveAnswers.empty()) return std::nullopt;
  const int answer = moveAnswers.front();
  moveAnswers.pop_front();
  return answer;
}

void WindowTest::SetUp() {
  qtApplication();
  dir_ = freshTestFolder();
}

void WindowTest::TearDown() {
  // The librarian goes first: its destructor may still ask the window for its placement.
  app_.reset();
  frame_.reset();
  clock_.reset();
}

void WindowTest::start() {
  clock_ = std::make_unique<QtUiClock>();
  frame_ = std::make_unique<MainFrame>();
  app_ = std::make_unique<MainWindow>(ProgramPaths{dir_, "banklore"}, makeNullMidiBackend(),
                                      *frame_, prompts_, *clock_);
  frame_->attach(*app_);
  app_->initWindow();
  frame_->show();
  frame_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame_.get()));
}

int WindowTest::countInLog(const std::string& text) const {
  const std::string all = log();
  int count = 0;
  for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) {
    ++count;
  }
  return count;
}

}  // namespace banklore::testing
