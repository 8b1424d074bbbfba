#include "ui/support/ui_fixture.h"

#include <QElapsedTimer>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "midi/system_backend.h"

namespace banklore::testing {

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
  const std::filesystem::path folder = std::filesystem::path(BANKLORE_TEST_TMPDIR) / "ui" /
                                       (std::string(info->test_suite_name()) + "_" + info->name());
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
  std::ofstream(path, std::ios::binary) << bytes;
}

void WindowTest::start() {
  app_ = std::make_unique<MainWindow>(ProgramPaths{dir_, "banklore"}, makeNullMidiBackend(), frame_,
                                      prompts_, clock_);
  frame_.attach(*app_);
  app_->initWindow();
  frame_.show();
  frame_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&frame_));
}

int WindowTest::countInLog(const std::string& text) const {
  const std::string all = readWholeFile(dir_ + "banklore_Debug.txt");
  int count = 0;
  for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) {
    ++count;
  }
  return count;
}

}  // namespace banklore::testing
