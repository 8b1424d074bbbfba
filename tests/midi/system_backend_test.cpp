// Without an ALSA sequencer or a JACK server the program runs on without MIDI.
#include "midi/system_backend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "midi/midi_port.h"
#include "midi/support/test_log.h"

namespace banklore {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(SystemBackendTest, WithoutAnyMidiSystemPortRunsWithoutMidi) {
  if (access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "this machine has an ALSA sequencer";
  const ScopedEnv server("JACK_DEFAULT_SERVER", "banklore-absent-" + std::to_string(getpid()));
  for (const char* api : {"", "alsa", "jack"}) {
    const ScopedEnv choice("BANKLORE_MIDI_API", api);
    test::TestLog log;
    MidiPort port(makeSystemMidiBackend());
    EXPECT_EQ(log.contents(), "Midi Assertion failure: Error MMSYSERR_NODRIVER\n") << api;
    EXPECT_THAT(port.inputDeviceNames(), IsEmpty());
    EXPECT_THAT(port.outputDeviceNames(), IsEmpty());

    port.SetOutputDeviceName("Synth");
    EXPECT_FALSE(port.Open()) << api;  // a device is named but the system has none
    port.SetOutputDeviceName("");
    ASSERT_TRUE(port.Open()) << api;
    const std::uint8_t message[] = {0xF0, 0xF7};
    EXPECT_FALSE(port.SendSysEx(message, sizeof message));
    EXPECT_THAT(log.contents(), HasSubstr("MMSYSERR_INVALHANDLE")) << api;
  }
}

}  // namespace
}  // namespace banklore
