// The Setup and About commands: what the dialog is shown, and what it changes and stores.
#include "app/detection_run.h"
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
    values = {"Synth In", "Synth Out", 5, 120, 30, {}, {}, {}, true, {}, {}, {}};
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
  for (const char* key :
       {"MidiIN", "MidiOUT", "DeviceID", "SendDelay", "RequestDelay", "PlaySelected"})
    stored.push_back(readText(path("banklore.ini"), "TestSynth", key, "<none>", 255));
  EXPECT_EQ(stored, S({"Synth In", "Synth Out", "5", "120", "30", "1"}));
  EXPECT_TRUE(window_->playSelected());
  EXPECT_TRUE(logged("Changing midi device\n"));
}

// Detect in Setup finds an instrument another section describes; taking it changes the instrument,
// after the unsaved-banks question, with the ports and device it answered on.
TEST_F(InstrumentCommandsTest, DetectOffersTheInstrumentFoundAndTakingItChangesToIt) {
  loopback::addPort("Desk");
  loopback::addPort("Synth");
  loopback::setResponder("Synth", [](std::span<const std::uint8_t>) {
    loopback::inject("Synth", {0xF0, 0x7E, 0x05, 0x06, 0x02, 0x3E, 0x13, 0x00, 0x00, 0x00, 0x00,
                               0x00, 0x00, 0x00, 0xF7});
  });
  startOnTestDefinition("Identity=7d\n");
  std::ofstream(path("banklore.idf"), std::ios::app)
      << "[Other]\nSettings=OtherSynth\nIdentity=3e,13\nDeviceIDBytes=0,5,7f\n";
  window_->bank(0).unsaved[3] = true;
  std::vector<DetectReport> reports;
  prompts_.onSetup = [&](SetupValues& values) {
    bool done = false;
    values.detect([&](const DetectReport& report) { reports.push_back(report), done = true; });
    while (!done) {
      EXPECT_TRUE(loopback::waitUntilIdle());
      clock_.advance(DetectionRun::kQuietMs);
    }
    const DetectChoice& taken = reports.back().choices.at(0);
    values.midiInName = taken.midiIn, values.midiOutName = taken.midiOut;
    values.changeInstrumentTo = taken.section, values.deviceIndex = taken.deviceIndex;
    return true;
  };
  for (const bool discard : {false, true}) {
    prompts_.yesNo = {discard};
    window_->onCommand(CommandId::Setup);
    ASSERT_EQ(reports.size(), discard ? 2u : 1u);
    const DetectChoice& found = reports.back().choices.at(0);
    EXPECT_EQ(std::tuple(found.section, found.midiIn, found.midiOut, found.deviceIndex),
              std::tuple("Other", "Synth", "Synth", 1));
    EXPECT_TRUE(found.otherInstrument);
    EXPECT_EQ(window_->definition().InstrumentName(), discard ? "Other" : "Test");
  }
  S stored;
  for (const char* key : {"MidiIN", "MidiOUT", "DeviceID"})
    stored.push_back(readText(path("banklore.ini"), "OtherSynth", key, "<none>", 255));
  EXPECT_EQ(stored, S({"Synth", "Synth", "1"}));
  EXPECT_EQ(window_->deviceId(), 1);
  EXPECT_EQ(detectReport({}, 1, "Test").text,
            "No instrument answered the identity request on 1 output. Some instruments, older "
            "ones above all, do not answer it: choose the ports by hand.");
}

TEST_F(InstrumentCommandsTest, AboutIsShownAndLogged) {
  startOnTestDefinition();
  window_->onCommand(CommandId::About);
  EXPECT_EQ(std::pair(prompts_.abouts, logCount("Displaying about box\n")), std::pair(1, 1));
}

}  // namespace
}  // namespace banklore::testing
