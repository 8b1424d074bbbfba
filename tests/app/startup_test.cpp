// Start-up, settings, window placement, closing, shutdown and the hop of MIDI input.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/support/app_fixture.h"
#include "platform/profile.h"

namespace banklore::testing {
namespace {

using StartupTest = AppTest;

TEST_F(StartupTest, FirstRunInAnEmptyFolderLogsItsStepsAndWritesTheSettingsFile) {
  start();
  EXPECT_EQ(view_.banks[1].rows, 256) << "the built-in instrument";
  EXPECT_EQ(view_.rect, (WindowRect{10, 20, 630, 470})) << "nothing saved: nothing placed";
  window_->onCommand(CommandId::SelectNone);
  window_->close();
  window_.reset();
  EXPECT_EQ(readFile("banklore_Debug.txt"),
            "--- Program Start ---\nConfiguration loaded\nInitializing dialog...\n"
            "...completed.\nOnCommand(40004, 0)\nClosing dialog...\n..completed.\nExitting...\n"
            "--- Program end ---\n");
  const S expected = {"General", "PosX",      "10",  "General", "PosY",      "20",
                      "General", "Width",     "630", "General", "Height",    "470",
                      "",        "LastPath0", dir_,  "",        "LastPath1", dir_,
                      "",        "LastFile0", "",    "",        "LastFile1", ""};
  for (std::size_t i = 0; i < expected.size(); i += 3) {
    EXPECT_EQ(readText(path("banklore.ini"), expected[i], expected[i + 1], "<missing>", 300),
              expected[i + 2])
        << expected[i + 1];
  }
}

TEST_F(StartupTest, SavedEdgesRestoreThePlacement) {
  const WindowRect unplaced{10, 20, 630, 470};
  // The saved right and bottom edges: a window of 800 by 650 at (100, 50).
  for (const auto& [general, rect] : std::vector<std::pair<std::string, WindowRect>>{
           {"PosX=100\nPosY=50\nWidth=900\nHeight=700\n", {100, 50, 900, 700}},
           {"PosX=100\nPosY=50\nWidth=900\nHeight=0\n", unplaced},
           {"PosX=100\nPosY=50\nWidth=0\nHeight=700\n", unplaced}}) {
    SCOPED_TRACE(general);
    window_.reset();  // its closing would overwrite the settings
    writeFile("banklore.ini", "[General]\n" + general);
    view_ = FakeView{};
    start();
    EXPECT_EQ(view_.rect, rect);
  }
}

TEST_F(StartupTest, EveryWayOfClosingEndsTheRequestAndSavesOnce) {
  const std::vector<std::pair<std::function<void(MainWindow&)>, int>> ways = {
      {[](MainWindow& w) { w.close(), w.close(); }, 1},
      {[](MainWindow& w) { w.onCommand(CommandId::Quit); }, 1},
      {[this](MainWindow&) { window_.reset(); }, 0}};  // destroyed unclosed: the view ends itself
  for (const auto& [closeIt, endRuns] : ways) {
    view_ = FakeView{};
    MainWindow& window = start();
    startRequest(1);
    view_.rect = {5, 6, 700, 800};
    closeIt(window);
    EXPECT_EQ(view_.banks[1].status, "Request aborted.");
    EXPECT_EQ(view_.endRuns, endRuns);
    EXPECT_EQ(readText(path("banklore.ini"), "General", "Width", "", 10), "700");
    const std::string log = readFile("banklore_Debug.txt");
    EXPECT_EQ(log.find("Closing dialog..."), log.rfind("Closing dialog..."));
  }
}

TEST_F(StartupTest, MidiInputHopsToTheUiThreadAndNothingRunsAfterShutdown) {
  loopback::addPort("Synth");
  writeFile("banklore.ini", "[]\nMidiIN=Synth\nMidiOUT=Synth\n");
  start();
  std::vector<std::vector<std::uint8_t>> data;
  int errors = 0;
  window_->setMidiDataHandler([&](auto bytes) { data.emplace_back(bytes.begin(), bytes.end()); });
  window_->setMidiErrorHandler([&](std::uint32_t) { ++errors; });
  ASSERT_TRUE(loopback::inject("Synth", {0xF0, 0x7D, 0x01, 0xF7}));
  ASSERT_TRUE(loopback::injectError("Synth", MidiInputError::Long));
  ASSERT_TRUE(loopback::waitUntilIdle());
  EXPECT_TRUE(data.empty() && errors == 0) << "nothing runs on the MIDI thread";
  EXPECT_EQ(clock_.runPosted(), 2);
  EXPECT_EQ(data, (std::vector<std::vector<std::uint8_t>>{{0xF0, 0x7D, 0x01, 0xF7}}));
  EXPECT_EQ(errors, 1);

  ASSERT_TRUE(loopback::inject("Synth", {0xF0, 0x01, 0xF7}));
  ASSERT_TRUE(loopback::waitUntilIdle());
  window_.reset();
  EXPECT_EQ(loopback::openInputCount("Synth"), 0u) << "shutdown closes the port";
  EXPECT_EQ(clock_.runPosted(), 1);
  EXPECT_EQ(data.size(), 1u) << "posted before shutdown, run after it";
}

}  // namespace
}  // namespace banklore::testing
