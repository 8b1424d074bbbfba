#include "ui/support/ui_fixture.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

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

void WindowTest::start(const MainWindow::MidiBackendFactory& backend) {
  app_ = std::make_unique<MainWindow>(ProgramPaths{dir_, "banklore"}, backend, frame_, prompts_,
                                      clock_);
  frame_.attach(*app_);
  app_->initWindow();
  frame_.show();
  frame_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&frame_));
}

int WindowTest::countInLog(const std::string& text) const {
  std::ifstream log(dir_ + "banklore_Debug.txt", std::ios::binary);
  const std::string all{std::istreambuf_iterator<char>(log), {}};
  int count = 0;
  for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
  return count;
}

void ModalScript::poll() {
  // The next poll is armed before a step acts: the step may open a nested modal loop.
  QTimer::singleShot(5, [this, alive = std::weak_ptr<bool>(alive_)] {
    if (alive.expired() || !*alive.lock()) return;
    poll();
    QWidget* top = QApplication::activePopupWidget();
    if (!top) top = QApplication::activeModalWidget();
    if (!top) {
      idlePolls_ = 0;
    } else if (!steps_.empty() && steps_.front().matches(top)) {
      idlePolls_ = 0;
      const Step step = steps_.front();
      steps_.pop_front();
      step.act(top);
    } else if (++idlePolls_ > 1000) {
      // Five seconds of a widget no step awaits: close it so the test fails, not hangs.
      if (auto* dialog = qobject_cast<QDialog*>(top)) dialog->reject();
      top->close();
    }
  });
}

}  // namespace banklore::testing

// One QApplication for every test, gone before the process exits.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
