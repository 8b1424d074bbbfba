// Start-up, settings, window placement, closing, shutdown and the hop of MIDI input.
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

// Saved right and bottom edges give the placement (a window of 800 by 650 at (100, 50)); an edge
// that cannot be one leaves the window where the view put it.
TEST_F(StartupTest, SavedEdgesRestoreThePlacement) {
  for (const auto& [height, rect] : std::vector<std::pair<const char*, WindowRect>>{
           {"700", {100, 50, 900, 700}}, {"0", {10, 20, 630, 470}}}) {
    window_.reset();  // its closing would overwrite the settings
    writeFile("banklore.ini",
              std::string("[General]\nPosX=100\nPosY=50\nWidth=900\nHeight=") + height + "\n");
    view_ = FakeView{};
    start();
    EXPECT_EQ(view_.rect, rect) << height;
  }
}

TEST_F(StartupTest, EveryWayOfClosingEndsTheRequestAndSavesOnce) {
  const std::vector<std::pair<std::function<void(MainWindow&)>, int>> ways = {
      {[](MainWindow& w) { w.close(), w.close(); }, 1},
      {[](MainWindow& w) { w.onCommand(CommandId::Quit); }, 1},
      {[this](MainWindow&) { window_.reset(); }, 0}};  // destroyed unclosed: the view ends itself
  for (const auto& [closeIt, endRuns] : ways) {
    view_ = FakeView{};
    start();
    MainWindow& window = *window_;
    startRequestIn(0);
    view_.rect = {5, 6, 700, 800};
    closeIt(window);
    EXPECT_EQ(view_.banks[0].status, "Request aborted.");
    EXPECT_EQ(view_.endRuns, endRuns);
    EXPECT_EQ(readText(path("banklore.ini"), "General", "Width", "", 10), "700");
  }
}

TEST_F(StartupTest, MidiInputHopsToTheUiThreadAndNothingRunsAfterShutdown) {
  loopback::addPort("Synth");
  writeFile("banklore.ini", "[]\nMidiIN=Synth\nMidiOUT=Synth\n");
  start();
  S got;
  window_->setMidiDataHandler([&](auto bytes) { got.emplace_back(bytes.begin(), bytes.end()); });
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(loopback::inject("Synth", {0xF0, 0x7D, 0x01, 0xF7}));
  ASSERT_TRUE(loopback::waitUntilIdle());
  EXPECT_TRUE(got.empty()) << "nothing runs on the MIDI thread";
  EXPECT_EQ(clock_.runPosted(), 2);
  EXPECT_EQ(got, (S(2, "\xF0\x7D\x01\xF7")));

  ASSERT_TRUE(loopback::inject("Synth", {0xF0, 0x01, 0xF7}));
  ASSERT_TRUE(loopback::waitUntilIdle());
  window_.reset();
  EXPECT_EQ(loopback::openInputCount("Synth"), 0u) << "shutdown closes the port";
  EXPECT_EQ(clock_.runPosted(), 1);
  EXPECT_EQ(got.size(), 2u) << "posted before shutdown, run after it";
}

}  // namespace
}  // namespace banklore::testing
