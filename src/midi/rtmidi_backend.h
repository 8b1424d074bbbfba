// The system's MIDI through RtMidi, always with an explicit API: the ALSA sequencer or JACK.
#pragma once

#include <cstddef>
#include <memory>

#include "midi/midi_backend.h"

namespace banklore {

enum class RtMidiApi { Alsa, Jack };

// RtMidi's JACK output silently drops a single message longer than its 16,384-byte ring buffer
// allows (16,379 bytes); longer SysEx goes out in pieces of this size, which RtMidi's JACK input
// reassembles into one message.
inline constexpr std::size_t kJackSysExPieceBytes = 4096;

// Null when RtMidi cannot start that API; the failure is logged. RtMidi's errors never escape:
// each is logged as "Midi Assertion failure: Error <RtMidi error type>"; its warnings are logged
// as a plain "RtMidi: <text>" line and fail nothing.
std::unique_ptr<MidiBackend> makeRtMidiBackend(RtMidiApi api);

// RtMidi's name for an RtMidiError::Type value ("DRIVER_ERROR", "INVALID_DEVICE", ...).
const char* rtMidiErrorName(int type);

}  // namespace banklore
