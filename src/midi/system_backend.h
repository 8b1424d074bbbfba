// Which MIDI system the program uses, and the backend for running without one.
#pragma once

#include <memory>

#include "midi/midi_backend.h"

namespace banklore {

enum class MidiSystem { Alsa, Jack, Loopback, None };

// The ALSA sequencer when usable, else JACK when a server runs, else none. `override` is the
// value of BANKLORE_MIDI_API ("alsa", "jack" or "loopback"; null or anything else: no override);
// an overridden system that is not available gives none.
MidiSystem chooseMidiSystem(const char* override, bool alsaUsable, bool jackRunning);

// Lists no ports and opens nothing: the program runs without MIDI.
std::unique_ptr<MidiBackend> makeNullMidiBackend();

}  // namespace banklore
