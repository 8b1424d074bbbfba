// The small pure helpers under the port: failure lines, stable port names and the choice of MIDI
// system.
#include <gtest/gtest.h>

#include "midi/midi_result.h"
#include "midi/port_names.h"
#include "midi/support/test_log.h"
#include "midi/system_backend.h"

namespace banklore {
namespace {

TEST(CheckMidiResultTest, LogsTheNameOrTheNumberOfAFailure) {
  struct Case {
    long code;
    bool ok;
    const char* logged;
  };
  const Case cases[] = {
      {0, true, ""},
      {1, false, "Midi Assertion failure: Error MMSYSERR_ERROR\n"},
      {12, false, "Midi Assertion failure: Error MMSYSERR_HANDLEBUSY\n"},
      {13, false, "Midi Assertion failure: Error 13\n"},
      {64, false, "Midi Assertion failure: Error MIDIERR_UNPREPARED\n"},
      {71, false, "Midi Assertion failure: Error MIDIERR_DONT_CONTINUE\n"},
      {72, false, "Midi Assertion failure: Error 72\n"},
      {-1, false, "Midi Assertion failure: Error -1\n"},
  };
  for (const Case& c : cases) {
    test::TestLog log;
    EXPECT_EQ(CheckMidiResult(c.code), c.ok) << c.code;
    EXPECT_EQ(log.contents(), c.logged) << c.code;
  }
}

TEST(PortNamesTest, AlsaAddressIsDroppedAndNothingElse) {
  const std::pair<const char*, const char*> cases[] = {
      {"Midi Through:Midi Through Port-0 14:0", "Midi Through:Midi Through Port-0"},
      {"UM-ONE:UM-ONE MIDI 1 20:0", "UM-ONE:UM-ONE MIDI 1"},
      {"Synth 128:15", "Synth"},
      {"system:midi_capture_1", "system:midi_capture_1"},  // JACK names stay as they are
      {"Synth 14:", "Synth 14:"},
      {"Synth :0", "Synth :0"},
      {"Synth14:0", "Synth14:0"},
      {"14:0", "14:0"},
      {"", ""},
  };
  for (const auto& [raw, stable] : cases) EXPECT_EQ(withoutAlsaAddress(raw), stable) << raw;
}

TEST(ChooseMidiSystemTest, PrefersAlsaThenJackAndHonoursTheOverride) {
  struct Case {
    const char* override;
    bool alsa;
    bool jack;
    MidiSystem chosen;
  };
  const Case cases[] = {
      {nullptr, true, true, MidiSystem::Alsa},          {nullptr, false, true, MidiSystem::Jack},
      {nullptr, false, false, MidiSystem::None},        {"jack", true, true, MidiSystem::Jack},
      {"jack", true, false, MidiSystem::None},          {"alsa", false, true, MidiSystem::None},
      {"alsa", true, false, MidiSystem::Alsa},          {"ALSA", false, true, MidiSystem::Jack},
      {"loopback", false, false, MidiSystem::Loopback}, {"", true, false, MidiSystem::Alsa},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(chooseMidiSystem(c.override, c.alsa, c.jack), c.chosen)
        << (c.override ? c.override : "(none)") << " alsa=" << c.alsa << " jack=" << c.jack;
  }
}

}  // namespace
}  // namespace banklore
