// Start-up: its log, the settings file it writes and the window placement it restores.
#include "app/support/app_fixture.h"
#include "platform/debug_log.h"
#include "platform/profile.h"

namespace banklore::testing {
namespace {

using StartupTest = AppTest;

TEST_F(StartupTest, FirstRunInAnEmptyFolderLogsItsStepsAndWritesTheSettingsFile) {
  writeFile("banklore_Debug.txt", "last run\n");
  start([] {  // what the MIDI set-up logs lands in this run's fresh log
    WriteLog(LogPath(), "setting up MIDI\n");
    return makeLoopbackBackend();
  });
  EXPECT_EQ(view_.banks[1].rows, 256) << "the built-in instrument";
  EXPECT_EQ(view_.title, "Banklore 1.12b - Nova");
  EXPECT_EQ(view_.rect, (WindowRect{10, 20, 630, 470})) << "nothing saved: nothing placed";
  window_->onCommand(CommandId::SelectNone);
  window_->close();
  window_.reset();
  EXPECT_EQ(readFile("banklore_Debug.txt"),
            "--- Program Start ---\nsetting up MIDI\nConfiguration loaded\nInitializing dialog...\n"
            "...completed.\nOnCommand(40004, 0)\nClosing dialog...\n..completed.\nExitting...\n"
            "--- Program end ---\n");
  EXPECT_EQ(readFile("banklore.ini"), "[]\nLastPath0=" + dir_ + "\nLastFile0=\nLastPath1=" + dir_ +
                                          "\nLastFile1=\n[General]\nPosX=10\nPosY=20\nWidth=630\n"
                                          "Height=470\n");
}

}  // namespace
}  // namespace banklore::testing
