// MIDI input reaches the librarian on the UI thread only, and never after the window is gone.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/support/app_fixture.h"
#include "midi/loopback_backend.h"

namespace banklore::testing {
namespace {

class MidiInputTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    loopback::reset();
    loopback::addPort("Synth");
    writeFile("banklore.ini", "[]\nMidiIN=Synth\nMidiOUT=Synth\n");
  }
  void TearDown() override {
    AppTest::TearDown();
    loopback::reset();
  }
  void startOnLoopback() {
    window_ = std::make_unique<MainWindow>(ProgramPaths{dir_, "banklore"}, makeLoopbackBackend(),
                                           view_, prompts_, clock_);
    window_->initWindow();
  }
};

TEST_F(MidiInputTest, DataAndErrorsArriveThroughTheUiThreadHop) {
  startOnLoopback();
  ASSERT_TRUE(window_->midiPort().isOpen());
  std::vector<std::vector<std::uint8_t>> data;
  int errors = 0;
  window_->setMidiDataHandler([&data](std::span<const std::uint8_t> bytes) {
    data.emplace_back(bytes.begin(), bytes.end());
  });
  window_->setMidiErrorHandler([&errors](std::uint32_t) { ++errors; });

  ASSERT_TRUE(loopback::inject("Synth", {0xF0, 0x7D, 0x01, 0xF7}));
  ASSERT_TRUE(loopback::injectError("Synth", MidiInputError::Long));
  ASSERT_TRUE(loopback::waitUntilIdle());
  EXPECT_TRUE(data.empty()) << "nothing runs on the MIDI thread";
  EXPECT_EQ(errors, 0);

  EXPECT_EQ(clock_.runPosted(), 2);
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0], (std::vector<std::uint8_t>{0xF0, 0x7D, 0x01, 0xF7}));
  EXPECT_EQ(errors, 1);
}

TEST_F(MidiInputTest, InputPostedBeforeShutdownIsDroppedAfterIt) {
  startOnLoopback();
  int data = 0;
  window_->setMidiDataHandler([&data](std::span<const std::uint8_t>) { ++data; });
  ASSERT_TRUE(loopback::inject("Synth", {0xF0, 0x01, 0xF7}));
  ASSERT_TRUE(loopback::waitUntilIdle());
  window_.reset();
  EXPECT_EQ(loopback::openInputCount("Synth"), 0u) << "shutdown closes the port";
  EXPECT_EQ(clock_.runPosted(), 1);
  EXPECT_EQ(data, 0);
}

}  // namespace
}  // namespace banklore::testing
