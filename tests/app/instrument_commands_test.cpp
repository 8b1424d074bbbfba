// The Setup and About commands: what the dialog is shown, and what it changes and stores.
#include "platform/profile.h"
#include "support/app_fixture.h"

namespace banklore::testing {
namespace {

using InstrumentCommandsTest = AppTest;

TEST_F(InstrumentCommandsTest, SetupOkReopensThePortAndStoresTheChoice) {
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
  S stored;
  for (const char* key : {"MidiIN", "MidiOUT", "DeviceID", "SendDelay", "RequestDelay"})
    stored.push_back(readText(path("banklore.ini"), "TestSynth", key, "<none>", 255));
  EXPECT_EQ(stored, S({"Synth In", "Synth Out", "5", "120", "30"}));
  EXPECT_TRUE(logged("Changing midi device\n"));
}

TEST_F(InstrumentCommandsTest, AboutIsShownAndLogged) {
  startOnTestDefinition();
  window_->onCommand(CommandId::About);
  EXPECT_EQ(std::pair(prompts_.abouts, logCount("Displaying about box\n")), std::pair(1, 1));
}

}  // namespace
}  // namespace banklore::testing
