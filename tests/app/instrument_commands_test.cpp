// The Setup command, Change Instrument and About.
#include "platform/profile.h"
#include "support/app_fixture.h"

namespace banklore::testing {
namespace {

class InstrumentCommandsTest : public AppTest {
 protected:
  std::string setting(const char* key) {
    return readText(path("banklore.ini"), "TestSynth", key, "<none>", 255);
  }
};

TEST_F(InstrumentCommandsTest, SetupOkReopensThePortAndStoresTheChoice) {
  loopback::addPort("Synth In", LoopbackDirection::InputOnly);
  loopback::addPort("Synth Out", LoopbackDirection::OutputOnly);
  startOnTestDefinition();
  window_->setDeviceId(9);  // the stored DeviceID (3) is what the dialog starts from
  SetupValues shown;
  prompts_.onSetup = [&](SetupValues& values) {
    shown = values;
    values.midiInName = "Synth In";
    values.midiOutName = "Synth Out";
    values.deviceIndex = 5;
    values.sendDelay = 120;
    values.requestDelay = 30;
    return true;
  };
  window_->request().requestActive = true;
  window_->onCommand(CommandId::Setup);

  EXPECT_FALSE(window_->request().requestActive);
  EXPECT_EQ(shown.deviceIndex, 3);
  EXPECT_EQ(shown.sendDelay, 415);
  EXPECT_EQ(shown.inputNames, S({"Synth In"}));
  EXPECT_EQ(shown.outputNames, S({"Synth Out"}));
  EXPECT_EQ(shown.deviceIdNames.size(), 16u);
  EXPECT_EQ(loopback::openInputCount("Synth In"), 1u);
  EXPECT_EQ(loopback::openOutputCount("Synth Out"), 1u);
  EXPECT_EQ(std::vector<int>({window_->deviceId(), window_->sendDelay(), window_->requestDelay()}),
            std::vector<int>({5, 120, 30}));
  EXPECT_EQ(S({setting("MidiIN"), setting("MidiOUT"), setting("DeviceID"), setting("SendDelay"),
               setting("RequestDelay")}),
            S({"Synth In", "Synth Out", "5", "120", "30"}));
  EXPECT_NE(readFile("banklore_Debug.txt").find("OnCommand(1016, 0)\nChanging midi device\n"),
            std::string::npos);
}

TEST_F(InstrumentCommandsTest, SetupCancelWritesBackWhatWasReadAndLeavesThePort) {
  loopback::addPort("Synth");
  writeFile("banklore.ini",
            "[General]\nInstrument=Test\n[TestSynth]\nMidiIN=Synth\nDeviceID=3\nSendDelay=7\n");
  writeFile("banklore.idf", "[Test]\nSettings=TestSynth\n");
  start();
  prompts_.onSetup = [](SetupValues& values) {
    values.midiInName = "Elsewhere";
    values.deviceIndex = 1;
    return false;
  };
  window_->setDeviceId(11);
  window_->onCommand(CommandId::Setup);

  EXPECT_EQ(loopback::openInputCount("Synth"), 1u);
  EXPECT_EQ(window_->deviceId(), 3);  // taken from the file whatever the outcome
  EXPECT_EQ(S({setting("MidiIN"), setting("MidiOUT"), setting("DeviceID"), setting("SendDelay"),
               setting("RequestDelay")}),
            S({"Synth", "", "3", "7", "415"}));
  EXPECT_EQ(readFile("banklore_Debug.txt").find("Changing midi device"), std::string::npos);
}

TEST_F(InstrumentCommandsTest, ChangeInstrumentRebuildsForTheChosenSectionOnlyOnOk) {
  startOnTestDefinition();
  writeFile("banklore.idf", readFile("banklore.idf") + "[Small]\nSettings=Other\nNumTotalPatches=5\n");
  writeFile("banklore.ini", readFile("banklore.ini") + "[Other]\nLastPath1=/somewhere/\n");
  window_->onCommand(CommandId::SelectAll);
  window_->onCommand(CommandId::Copy);
  window_->bank(0).lastFile = "/x/bank.syx";

  std::string chooserIdf;
  prompts_.onChoose = [&](const std::string& idf, const std::string&) {
    chooserIdf = idf;
    return false;
  };
  window_->onCommand(CommandId::ChangeInstrument);
  EXPECT_EQ(window_->slotCount(), 32);
  EXPECT_EQ(chooserIdf, path("banklore.idf"));

  prompts_.onChoose = [&](const std::string&, const std::string& ini) {
    return writeText(ini, "General", "Instrument", "Small");
  };
  window_->onCommand(CommandId::ChangeInstrument);
  EXPECT_EQ(window_->definition().InstrumentName(), "Small");
  EXPECT_EQ(window_->slotCount(), 5);
  EXPECT_EQ(view_.banks[1].rows, 5);
  EXPECT_EQ(view_.banks[0].status, "Ready.");
  EXPECT_TRUE(window_->clipboard().empty());
  EXPECT_EQ(window_->bank(0).lastFile, "");
  EXPECT_EQ(window_->bank(1).lastPath, "/somewhere/");
  EXPECT_EQ(window_->activeBank(), 0);
  EXPECT_EQ(slotName(0, 4), "???????????????");
}

TEST_F(InstrumentCommandsTest, AboutIsLoggedAndShown) {
  start();
  window_->onCommand(CommandId::About);
  EXPECT_EQ(prompts_.abouts, 1);
  EXPECT_NE(readFile("banklore_Debug.txt").find("OnCommand(1017, 0)\nDisplaying about box\n"),
            std::string::npos);
}

}  // namespace
}  // namespace banklore::testing
