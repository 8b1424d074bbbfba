// In-process MIDI ports for tests: named ports in one process-wide registry. A message sent to the
// output named X is recorded and delivered, on the receiving backend's own thread like a real
// system's, to every open input named X. Tests inject input messages and errors, and read what was
// sent. All functions are thread-safe.
//
//   loopback::reset();
//   loopback::addPort("Synth");  // listed as an input and as an output device
//   MidiPort port(makeLoopbackBackend());
//   port.SetInputDeviceName("Synth");  port.SetOutputDeviceName("Synth");  port.Open();
//   loopback::inject("Synth", {0x94, 0x3C, 0x64});  // the data callback runs on another thread
//   loopback::waitUntilIdle();                      // every pending delivery done
//   loopback::sentMessages("Synth");                // everything SendSysEx sent there
//
// An instrument that answers: addPort("Out", OutputOnly), addPort("In", InputOnly), and
// setResponder("Out", [](auto request) { inject("In", answerTo(request)); }).
// A backend's openVirtual("Synth", ...) adds "Synth:in" (an output to others, whose messages reach
// that backend's handlers) and "Synth:out" (an input to others, fed by its send()); closeVirtual
// removes them again.
// BANKLORE_MIDI_API=loopback makes makeSystemMidiBackend() return a loopback backend.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "midi/midi_backend.h"

namespace banklore {

enum class LoopbackDirection { Both, InputOnly, OutputOnly };

// A backend over the registry: it lists the registry's ports in the order they were added.
std::unique_ptr<MidiBackend> makeLoopbackBackend();

namespace loopback {

// Called on the sending thread with each message sent to a port; it may inject() an answer, so a
// test can play an instrument that replies to requests.
using Responder = std::function<void(std::span<const std::uint8_t> message)>;

// Adds a port at the end of the system order. Adding a name twice gives two ports of that name.
void addPort(std::string name, LoopbackDirection direction = LoopbackDirection::Both);
// A device unplugged and plugged in again: unplug takes every port of that name out of the system
// (who had one open reaches nothing through it any more; returns how many went); plugIn adds a new
// one as addPort does. Both tell every backend's change handler, as a real system would.
std::size_t unplug(std::string_view name);
void plugIn(std::string name, LoopbackDirection direction = LoopbackDirection::Both);
// Forgets every port, recorded message and responder. Ports still open keep working but can no
// longer be reached by name.
void reset();

// Plays a message (or an input error) into every open input of the ports named `name`; delivered
// asynchronously. False when no port of that name is an input.
bool inject(std::string_view name, std::vector<std::uint8_t> message);
bool injectError(std::string_view name, MidiInputError error);

// What was sent to the `occurrence`-th port named `name` (0 = first in system order), in order.
std::vector<std::vector<std::uint8_t>> sentMessages(std::string_view name,
                                                    std::size_t occurrence = 0);
void clearSentMessages(std::string_view name);
void setResponder(std::string_view name, Responder responder);

// How many backends have this port open as their input / output.
std::size_t openInputCount(std::string_view name, std::size_t occurrence = 0);
std::size_t openOutputCount(std::string_view name, std::size_t occurrence = 0);

// Waits until every injected or sent message has been handed to its handlers (or dropped by a
// closing input). False on timeout.
bool waitUntilIdle(std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace loopback
}  // namespace banklore
