// Start-up, settings, window placement, closing and shutdown.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/support/app_fixture.h"
#include "platform/profile.h"

namespace banklore::testing {
namespace {

constexpr const char* kMissing = "<missing>";

using StartupTest = AppTest;

TEST_F(StartupTest, FirstRunInEmptyFolder_TakesDefaultsAndWritesSettingsOnClose) {
  MainWindow& window = start();
  EXPECT_EQ(window.definition().InstrumentName(), "Nova");
  EXPECT_EQ(window.instrumentSection(), "");
  EXPECT_EQ(window.deviceId(), 16);
  EXPECT_EQ(window.sendDelay(), 415);
  EXPECT_EQ(window.requestDelay(), 415);
  EXPECT_EQ(window.bank(0).lastPath, dir_);
  EXPECT_EQ(window.bank(1).lastPath, dir_);
  EXPECT_EQ(window.settingsPath(), dir_ + "banklore.ini");
  EXPECT_EQ(window.definitionPath(), dir_ + "banklore.idf");
  EXPECT_EQ(view_.title, "Banklore 1.12b - Nova");
  EXPECT_EQ(view_.placements, 0) << "no saved placement: the window keeps its own";

  window.close();
  const std::string ini = path("banklore.ini");
  EXPECT_EQ(readText(ini, "General", "PosX", kMissing, 100), "10");
  EXPECT_EQ(readText(ini, "General", "PosY", kMissing, 100), "20");
  EXPECT_EQ(readText(ini, "General", "Width", kMissing, 100), "630");
  EXPECT_EQ(readText(ini, "General", "Height", kMissing, 100), "470");
  EXPECT_EQ(readText(ini, "", "LastPath0", kMissing, 300), dir_);
  EXPECT_EQ(readText(ini, "", "LastPath1", kMissing, 300), dir_);
  EXPECT_EQ(readText(ini, "", "LastFile0", kMissing, 300), "");
  EXPECT_EQ(readText(ini, "", "LastFile1", kMissing, 300), "");
  EXPECT_EQ(readText(ini, "", "MidiIN", kMissing, 300), kMissing) << "Setup's keys are not written";
  EXPECT_EQ(view_.endRuns, 1);
}

TEST_F(StartupTest, RebuildBanks_ShowsPlaceholdersReadyAndRowZeroSelected) {
  MainWindow& window = start();
  for (int b = 0; b < 2; ++b) {
    SCOPED_TRACE(b);
    EXPECT_EQ(view_.banks[b].rows, 256);
    EXPECT_EQ(window.rowCount(b), 256);
    EXPECT_EQ(window.name(b, 0), "???????????????" + std::string(1, ' '));
    EXPECT_EQ(window.name(b, 255), "???????????????" + std::string(1, ' '));
    EXPECT_EQ(window.label(b, 0), "A000");
    EXPECT_EQ(window.label(b, 128), "B000");
    EXPECT_EQ(view_.banks[b].status, "Ready.");
    EXPECT_EQ(view_.banks[b].progressMaximum, 1);
    EXPECT_EQ(view_.banks[b].progressPosition, 1);
    EXPECT_EQ(view_.banks[b].selection, std::vector<int>{0});
    EXPECT_EQ(view_.banks[b].focusRow, 0);
  }
  EXPECT_EQ(window.activeBank(), 0);
  // Reading outside a bank gives nothing rather than touching memory that is not there.
  EXPECT_EQ(window.name(0, 256), "");
  EXPECT_EQ(window.label(1, -1), "");
  EXPECT_EQ(window.rowCount(2), 0);
}

TEST_F(StartupTest, SavedEdgesRestorePlacement) {
  struct Case {
    const char* general;
    bool placed;
    WindowRect rect;
  };
  const std::vector<Case> cases = {
      // The saved right and bottom edges: a window of 800 by 650 at (100, 50).
      {"PosX=100\nPosY=50\nWidth=900\nHeight=700\n", true, {100, 50, 900, 700}},
      {"PosX=100\nPosY=50\nWidth=900\nHeight=0\n", false, {}},
      {"PosX=100\nPosY=50\nWidth=0\nHeight=700\n", false, {}},
      {"PosX=-20\nPosY=-5\nWidth=300\nHeight=200\n", true, {-20, -5, 300, 200}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.general);
    writeFile("banklore.ini", std::string("[General]\n") + c.general);
    view_ = FakeView{};
    start();
    EXPECT_EQ(view_.placements, c.placed ? 1 : 0);
    if (c.placed) {
      EXPECT_EQ(view_.rect, c.rect);
    }
    window_.reset();
  }
}

TEST_F(StartupTest, InstrumentSectionSuppliesDevicesDelaysAndPaths) {
  writeFile("banklore.idf", kTestDefinition);
  writeFile("banklore.ini",
            "[General]\nInstrument=Test\n[TestSynth]\nDeviceID=3\nSendDelay=100\nRequestDelay=0\n"
            "LastPath0=/music/a/\nLastFile0=/music/a/x.syx\n[]\nDeviceID=9\nSendDelay=7\n");
  MainWindow& window = start();
  EXPECT_EQ(window.instrumentSection(), "TestSynth");
  EXPECT_EQ(window.deviceId(), 3);
  EXPECT_EQ(window.sendDelay(), 100);
  EXPECT_EQ(window.requestDelay(), 0);
  EXPECT_EQ(window.bank(0).lastPath, "/music/a/");
  EXPECT_EQ(window.bank(1).lastPath, dir_);
  EXPECT_EQ(window.bank(0).lastFile, "") << "a saved file name is never loaded";
  EXPECT_EQ(view_.title, "Banklore 1.12b - Test");
  EXPECT_EQ(view_.banks[0].rows, 32);
  EXPECT_EQ(window.name(0, 3), "????????");

  window.close();
  const std::string ini = path("banklore.ini");
  EXPECT_EQ(readText(ini, "TestSynth", "LastFile0", kMissing, 300), "");
  EXPECT_EQ(readText(ini, "TestSynth", "LastPath0", kMissing, 300), "/music/a/");
  EXPECT_EQ(readText(ini, "", "LastPath0", kMissing, 300), kMissing) << "other sections untouched";
  EXPECT_EQ(readText(ini, "", "SendDelay", kMissing, 300), "7");
}

TEST_F(StartupTest, LogHoldsStartCloseAndShutdownLinesInOrder) {
  writeFile("banklore_Debug.txt", "previous run\n");
  start();
  window_->onCommand(CommandId::SelectNone);
  window_->close();
  window_.reset();
  const std::string log = readFile("banklore_Debug.txt");
  EXPECT_EQ(log.find("previous run"), std::string::npos) << "each run starts a fresh log";
  const std::vector<std::string> expected = {
      "--- Program Start ---\n", "Configuration loaded\n", "Initializing dialog...\n",
      "...completed.\n",         "OnCommand(40004, 0)\n",  "Closing dialog...\n",
      "..completed.\n",          "Exitting...\n",          "--- Program end ---\n"};
  std::size_t at = 0;
  for (const std::string& line : expected) {
    const std::size_t found = log.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "in\n" << log;
    at = found + line.size();
  }
  EXPECT_EQ(log.rfind("--- Program end ---\n"), log.size() - 20) << "the last line of the run";
  EXPECT_EQ(log.find("--- Program Start ---\n"), 0u) << "the first line of the run";
}

TEST_F(StartupTest, CloseRunsOnceAndEndsAnyRequest) {
  MainWindow& window = start();
  window.request().requestActive = true;
  window.request().requestBank = 1;
  window.close();
  window.close();
  EXPECT_FALSE(window.request().requestActive);
  EXPECT_EQ(window.bank(1).statusText, "Request aborted.");
  EXPECT_EQ(view_.endRuns, 1);
  EXPECT_EQ(readFile("banklore_Debug.txt").find("Closing dialog...\n"),
            readFile("banklore_Debug.txt").rfind("Closing dialog...\n"));
}

TEST_F(StartupTest, QuitRunsTheClosingSteps) {
  start();
  view_.rect = {1, 2, 3, 4};
  window_->onCommand(CommandId::Quit);
  EXPECT_EQ(view_.endRuns, 1);
  EXPECT_EQ(readText(path("banklore.ini"), "General", "Height", kMissing, 10), "4");
}

TEST_F(StartupTest, DestroyingAnUnclosedWindowStillSavesSettings) {
  start();
  view_.rect = {5, 6, 700, 800};
  window_.reset();
  EXPECT_EQ(readText(path("banklore.ini"), "General", "Width", kMissing, 10), "700");
  EXPECT_EQ(readText(path("banklore.ini"), "", "LastPath1", kMissing, 300), dir_);
  EXPECT_EQ(view_.endRuns, 0) << "a window being destroyed does not ask the view to end";
}

TEST_F(StartupTest, BanksTooLargeForMemoryGetFewerSlotsInsteadOfExhaustingIt) {
  writeFile("banklore.idf", "[Huge]\nNumTotalPatches=16384\nDataSize=1048576\n");
  writeFile("banklore.ini", "[General]\nInstrument=Huge\n");
  MainWindow& window = start();
  EXPECT_EQ(window.definition().NumTotalPatches(), 16384);
  EXPECT_EQ(window.slotCount(), 255);
  EXPECT_EQ(view_.banks[1].rows, 255);
  window.CopySlot(0, 254, 1, 300, true);  // a slot the definition has but the bank does not
  EXPECT_EQ(window.label(0, 300), "");
  EXPECT_NE(readFile("banklore_Debug.txt").find("does not fit in memory; using 255"),
            std::string::npos);
}

}  // namespace
}  // namespace banklore::testing
