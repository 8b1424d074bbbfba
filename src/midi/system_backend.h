// Which MIDI system the program uses, how long it waits for it, and the backend for running
// without one.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "midi/midi_backend.h"

namespace banklore {

enum class MidiSystem { Alsa, Jack, Loopback, None };

// The ALSA sequencer when usable, else JACK when a server runs, else none. `override` is the
// value of BANKLORE_MIDI_API ("alsa", "jack" or "loopback"; null or anything else: no override);
// an overridden system that is not available gives none.
MidiSystem chooseMidiSystem(const char* override, bool alsaUsable, bool jackRunning);

// Lists no ports and opens nothing: the program runs without MIDI.
std::unique_ptr<MidiBackend> makeNullMidiBackend();
// The same, for a system where MIDI was looked for and not found: `reason` says why, for the user.
std::unique_ptr<MidiBackend> makeUnavailableMidiBackend(std::string reason);

// How the system's MIDI is found. The JACK client is opened on a thread of its own, since libjack
// can hang for good while joining a server (seen with its state under /dev/shm left damaged by a
// killed program); past the deadline the program goes on without MIDI.
struct MidiSystemProbes {
  std::function<bool()> alsaUsable;
  // A JACK backend on a running server; null when none answers.
  std::function<std::unique_ptr<MidiBackend>()> openJack;
  std::chrono::milliseconds jackDeadline{2000};
};
MidiSystemProbes systemMidiProbes();
std::unique_ptr<MidiBackend> openSystemMidi(const char* override, const MidiSystemProbes& probes);

// Runs `open` on a thread of its own and waits up to `deadline` for it: nullopt when it did not
// return in time. That thread is then left to itself: nothing waits for it, and what it returns
// later is destroyed there.
std::optional<std::unique_ptr<MidiBackend>> openWithin(
    std::function<std::unique_ptr<MidiBackend>()> open, std::chrono::milliseconds deadline);

}  // namespace banklore
