// The system's MIDI through RtMidi, always with an explicit API: the ALSA sequencer or JACK.
#pragma once

#include <memory>

#include "midi/midi_backend.h"

namespace banklore {

// The program uses RtMidi for the ALSA sequencer only (JACK has a backend of its own,
// jack_backend.h); RtMidi's JACK API is kept so this adapter can be tested where ALSA is missing.
enum class RtMidiApi { Alsa, Jack };

// Null when RtMidi cannot start that API; the failure is logged. RtMidi's errors never escape:
// each is logged as "Midi Assertion failure: Error <RtMidi error type>"; its warnings are logged
// as a plain "RtMidi: <text>" line and fail nothing.
std::unique_ptr<MidiBackend> makeRtMidiBackend(RtMidiApi api);

// RtMidi's name for an RtMidiError::Type value ("DRIVER_ERROR", "INVALID_DEVICE", ...).
const char* rtMidiErrorName(int type);

}  // namespace banklore
