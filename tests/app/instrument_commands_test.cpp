// The Setup command and Change Instrument.
#include "platform/profile.h"
#include "support/app_fixture.h"

namespace banklore::testing {
namespace {

class InstrumentCommandsTest : public AppTest {
 protected:
  S storedSetup() {
    S values;
    for (const char* key : {"MidiIN", "MidiOUT", "DeviceID", "SendDelay", "RequestDelay"})
      values.push_back(readText(path("banklore.ini"), "TestSynth", key, "<none>", 255));
    return values;
  }
};

TEST_F(InstrumentCommandsTest, SetupOkReopensThePortAndStoresTheChoiceAndCancelTakesNothing) {
  loopback::addPort("Synth In", LoopbackDirection::InputOnly);
  loopback::addPort("Synth Out", LoopbackDirection::OutputOnly);
  startOnTestDefinition("", "SendDelay=250\nRequestDelay=40\n");
  window_->setDeviceId(9);  // the dialog starts from the stored DeviceID, 3
  SetupValues shown;
  prompts_.onSetup = [&](SetupValues& values) {
    shown = values;
    values = {"Synth In", "Synth Out", 5, 120, 30, {}, {}, {}};
    return true;
  };
  window_->onCommand(CommandId::Setup);
  EXPECT_EQ(std::vector<int>({shown.deviceIndex, shown.sendDelay, shown.requestDelay,
                              static_cast<int>(shown.deviceIdNames.size())}),
            std::vector<int>({3, 250, 40, 16}));
  EXPECT_EQ(std::pair(shown.inputNames, shown.outputNames),
            std::pair(S{"Synth In"}, S{"Synth Out"}));
  EXPECT_EQ(loopback::openInputCount("Synth In") + loopback::openOutputCount("Synth Out"), 2u);
  EXPECT_EQ(std::vector<int>({window_->deviceId(), window_->sendDelay(), window_->requestDelay()}),
            std::vector<int>({5, 120, 30}));
  EXPECT_EQ(storedSetup(), S({"Synth In", "Synth Out", "5", "120", "30"}));
  EXPECT_TRUE(logged("Changing midi device\n"));

  // Cancel takes nothing the dialog changed, keeps the port and writes back what was read.
  prompts_.onSetup = [](SetupValues& values) {
    values = {"Elsewhere", "", 1, 1, 1, {}, {}, {}};
    return false;
  };
  window_->setDeviceId(11);
  window_->onCommand(CommandId::Setup);
  EXPECT_EQ(loopback::openInputCount("Synth In"), 1u);
  EXPECT_EQ(window_->deviceId(), 5);  // read from the file whatever the outcome
  EXPECT_EQ(storedSetup(), S({"Synth In", "Synth Out", "5", "120", "30"}));
}

TEST_F(InstrumentCommandsTest, ChangeInstrumentRebuildsForTheChosenSection) {
  startOnTestDefinition();
  writeFile("banklore.idf",
            readFile("banklore.idf") + "[Small]\nSettings=Other\nNumTotalPatches=5\n");
  writeFile("banklore.ini", readFile("banklore.ini") + "[Other]\nLastPath1=/somewhere/\n");
  window_->onCommand(CommandId::SelectAll);
  window_->onCommand(CommandId::Copy);
  window_->bank(0).lastFile = "/x/bank.syx";
  prompts_.onChoose = [&](const std::string& idf, const std::string& ini) {
    return idf == path("banklore.idf") && writeText(ini, "General", "Instrument", "Small");
  };
  window_->onCommand(CommandId::ChangeInstrument);
  EXPECT_EQ(window_->definition().InstrumentName(), "Small");
  EXPECT_EQ(std::vector<int>({window_->slotCount(), view_.banks[1].rows, window_->activeBank()}),
            std::vector<int>({5, 5, 0}));
  EXPECT_EQ(S({view_.banks[0].status, window_->bank(0).lastFile, window_->bank(1).lastPath,
               slotName(0, 4)}),
            S({"Ready.", "", "/somewhere/", "???????????????"}));
  EXPECT_TRUE(window_->clipboard().empty());
}

}  // namespace
}  // namespace banklore::testing
