// MIDI through a JACK server on libjack itself. Each backend is one JACK client ("Banklore", or the
// exact name given to openVirtual) with the ports "in" and "out"; opening a device connects them.
// Output is queued and handed to JACK as each cycle has room, so a message of any size up to
// kMaxMidiMessageBytes arrives whole, once and in order; input is copied out of JACK's process
// thread at once and joined into whole messages on a thread of the backend's own.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "midi/midi_backend.h"

namespace banklore {

// The largest message sent or received; a larger one is refused (sending) or reported as a broken
// SysEx (receiving).
inline constexpr std::size_t kMaxMidiMessageBytes = std::size_t{1} << 20;

struct JackBackendConfig {
  std::string clientName = "Banklore";  // JACK adds a suffix when the name is taken
  // Bytes queued for output (a send waits while the queue is full), and bytes of input held
  // between JACK's thread and the handlers.
  std::size_t queueBytes = std::size_t{4} << 20;
  // How long a send waits for room, and a close for queued output to leave, before giving up
  // (and saying so in the log).
  std::chrono::milliseconds sendTimeout{5000};
};

// Null (logged) when no JACK server answers.
std::unique_ptr<MidiBackend> makeJackBackend(const JackBackendConfig& config = {});

}  // namespace banklore
