// What MidiPort decides itself, over the loopback backend (which device a name selects, how input
// is cut or reported), and how the system's MIDI is chosen and waited for at start.
#include "midi/midi_port.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <future>
#include <optional>

#include "midi/loopback_backend.h"
#include "midi/port_names.h"
#include "midi/support/port_probe.h"
#include "midi/system_backend.h"

namespace banklore {
namespace {

using test::Bytes;
using namespace std::chrono_literals;

const std::string kNoDevice = "Midi Assertion failure: Error MIDIERR_NODEVICE\n";

class MidiPortTest : public ::testing::Test {
 protected:
  void SetUp() override { loopback::reset(); }

  static std::unique_ptr<MidiPort> makePort(std::string_view input, std::string_view output) {
    auto port = std::make_unique<MidiPort>(makeLoopbackBackend());
    port->SetInputDeviceName(input);
    port->SetOutputDeviceName(output);
    return port;
  }

  test::TestLog log;
};

TEST_F(MidiPortTest, OpensWhatTheNamesSelect) {
  struct Case {
    const char* title;
    bool hasInputs, hasOutputs;
    const char *input, *output;
    bool opens, inputOpen, outputOpen;
    std::string logged;
  };
  const Case cases[] = {
      {"no names, no devices", false, false, "", "", true, false, false, ""},
      {"both found", true, true, "In", "Out", true, true, true, "MM_MIM_OPEN\nMM_MOM_OPEN\n"},
      {"input named, no input device", false, true, "In", "Out", false, false, false, ""},
      {"output named, no output device", true, false, "In", "Out", false, false, false, ""},
      {"case differs", true, true, "in", "OUT", true, false, false, kNoDevice + kNoDevice},
      {"prefix only", true, true, "I", "Ou", true, false, false, kNoDevice + kNoDevice},
      {"input only", true, true, "In", "", true, true, false, "MM_MIM_OPEN\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    loopback::reset();
    for (int twin = 0; twin < 2; ++twin) {  // of two ports with one name, the first must open
      if (c.hasInputs) loopback::addPort("In", LoopbackDirection::InputOnly);
      if (c.hasOutputs) loopback::addPort("Out", LoopbackDirection::OutputOnly);
    }
    test::TestLog caseLog;
    auto port = makePort(c.input, c.output);
    EXPECT_EQ(port->Open(), c.opens);
    EXPECT_EQ(port->isInputOpen(), c.inputOpen);
    EXPECT_EQ(port->isOutputOpen(), c.outputOpen);
    EXPECT_EQ(loopback::openInputCount("In"), c.inputOpen ? 1u : 0u);
    EXPECT_EQ(loopback::openOutputCount("Out"), c.outputOpen ? 1u : 0u);
    EXPECT_EQ(caseLog.contents(), c.logged);
  }
}

// Names must stay the same from run to run, whatever address ALSA gave the device.
TEST(MidiSystemTest, AlsaAddressIsDroppedFromPortNamesAndNothingElse) {
  EXPECT_EQ(withoutAlsaAddress("UM-ONE:UM-ONE MIDI 1 20:0"), "UM-ONE:UM-ONE MIDI 1");
  EXPECT_EQ(withoutAlsaAddress("Synth 128:15"), "Synth");
  for (const char* kept : {"system:midi_capture_1", "Synth 14:", "Synth :0", "Synth14:0", "14:0"}) {
    EXPECT_EQ(withoutAlsaAddress(kept), kept);
  }
}

// With neither an ALSA sequencer nor a JACK server, also when one of them is asked for: the port
// runs without MIDI and says why.
TEST(MidiSystemTest, WithoutAnyMidiSystemThePortRunsWithoutMidi) {
  if (access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "this machine has an ALSA sequencer";
  setenv("JACK_DEFAULT_SERVER", ("banklore-absent-" + std::to_string(getpid())).c_str(), 1);
  const std::pair<const char*, std::string> apis[] = {
      {"", "neither an ALSA sequencer nor a JACK server was found"},
      {"alsa", "BANKLORE_MIDI_API=alsa, but there is no ALSA sequencer"},
      {"jack", "BANKLORE_MIDI_API=jack, but no JACK server runs"}};
  for (const auto& [api, why] : apis) {
    SCOPED_TRACE(api);
    setenv("BANKLORE_MIDI_API", api, 1);
    test::TestLog log;
    MidiPort port(makeSystemMidiBackend());
    EXPECT_EQ(port.systemProblem(), why);
    EXPECT_TRUE(port.inputDeviceNames().empty() && port.outputDeviceNames().empty());
    port.SetOutputDeviceName("Synth");
    EXPECT_FALSE(port.Open());  // a device is named but the system has none
    EXPECT_TRUE(log.contents().ends_with("No MIDI: " + why +
                                         ".\nMidi Assertion failure: Error MMSYSERR_NODRIVER\n"))
        << log.contents();
  }
  unsetenv("BANKLORE_MIDI_API");
  unsetenv("JACK_DEFAULT_SERVER");
}

TEST(MidiSystemTest, AlsaWinsWhenBothAreThereAndAnOverrideTakesOnlyItsOwn) {
  using enum MidiSystem;
  // clang-format off
  const std::tuple<const char*, bool, bool, MidiSystem> cases[] = {
      {nullptr, true, true, Alsa},    {nullptr, true, false, Alsa}, {nullptr, false, true, Jack},
      {nullptr, false, false, None},  {"", true, true, Alsa},       {"pipewire", false, true, Jack},
      {"alsa", true, true, Alsa},     {"alsa", false, true, None},  {"jack", true, true, Jack},
      {"jack", true, false, None},    {"loopback", false, false, Loopback}};
  // clang-format on
  for (const auto& [override, alsa, jack, chosen] : cases) {
    EXPECT_EQ(chooseMidiSystem(override, alsa, jack), chosen)
        << (override ? override : "(none)") << " alsa " << alsa << " jack " << jack;
  }
}

// A JACK library that hangs while joining the server: start-up goes on without MIDI once the
// deadline has passed, and says why. One that answers in time is taken, whatever it found.
TEST(MidiSystemTest, AJackProbeThatNeverReturnsGivesNoMidiAfterTheDeadline) {
  test::TestLog log;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> probeEnded{false};
  MidiSystemProbes probes;
  probes.alsaUsable = [] { return false; };
  probes.openJack = [released, &probeEnded]() -> std::unique_ptr<MidiBackend> {
    released.wait();  // as libjack stuck on a lock
    auto backend = makeLoopbackBackend();
    probeEnded = true;
    return backend;  // too late: dropped on this thread
  };
  probes.jackDeadline = 150ms;
  MidiPort port(openSystemMidi(nullptr, probes));
  EXPECT_TRUE(port.inputDeviceNames().empty());
  EXPECT_TRUE(log.contents().starts_with("No MIDI: the JACK library did not answer within 0.15 s"))
      << log.contents();
  release.set_value();  // the stuck thread ends by itself; nothing waits for it
  EXPECT_TRUE(test::waitUntil([&] { return probeEnded.load(); }));

  probes.openJack = [] { return makeLoopbackBackend(); };
  EXPECT_TRUE(MidiPort(openSystemMidi(nullptr, probes)).systemProblem().empty());
}

}  // namespace
}  // namespace banklore
