// The small pure helpers under the port: failure names, status classes, stable port names and
// the choice of MIDI system.
#include <gtest/gtest.h>

#include "midi/midi_result.h"
#include "midi/port_names.h"
#include "midi/rtmidi_backend.h"
#include "midi/short_message.h"
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

TEST(RtMidiErrorNameTest, NamesEveryRtMidiErrorType) {
  EXPECT_STREQ(rtMidiErrorName(0), "WARNING");
  EXPECT_STREQ(rtMidiErrorName(4), "INVALID_DEVICE");
  EXPECT_STREQ(rtMidiErrorName(8), "DRIVER_ERROR");
  EXPECT_STREQ(rtMidiErrorName(10), "THREAD_ERROR");
  EXPECT_STREQ(rtMidiErrorName(11), "UNSPECIFIED");
  EXPECT_STREQ(rtMidiErrorName(-3), "UNSPECIFIED");
}

TEST(ShortMessageTest, ClassTableCoversEveryStatusByte) {
  for (int status = 0; status < 0x100; ++status) {
    const auto cls = statusClass(static_cast<std::uint8_t>(status));
    const auto length = shortMessageLength(cls);
    std::optional<std::size_t> expected;
    if (status >= 0x80 && status < 0xF0) {
      expected = (cls == 0xC0 || cls == 0xD0) ? 2 : 3;
    } else if (status == 0xF2) {
      expected = 3;
    } else if (status == 0xF3) {
      expected = 2;
    } else if (status == 0xF5 || status == 0xF8 || (status >= 0xFA && status <= 0xFC) ||
               status == 0xFE || status == 0xFF) {
      expected = 1;
    }
    EXPECT_EQ(length, expected) << std::hex << status;
  }
  EXPECT_EQ(statusClass(0x94), 0x90);
  EXPECT_EQ(statusClass(0xF6), 0xF6);
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
