// A stand-in instrument on the JACK server: a client with a MIDI input and a MIDI output port that
// passes every event from one to the other in the same cycle (a MIDI thru box).
#pragma once

#include <jack/jack.h>

#include <chrono>
#include <memory>
#include <string>

namespace banklore::test {

class JackThru {
 public:
  static std::unique_ptr<JackThru> start(const std::string& clientName);
  JackThru() = default;
  ~JackThru();
  JackThru(const JackThru&) = delete;
  JackThru& operator=(const JackThru&) = delete;

  std::string inputName() const;   // where a MidiPort's output goes: "<client>:in"
  std::string outputName() const;  // what a MidiPort's input listens to: "<client>:out"
  // Waits until both ports have a connection.
  bool waitConnected(std::chrono::milliseconds timeout) const;

 private:
  static int process(jack_nframes_t frames, void* self);

  jack_client_t* client_ = nullptr;
  jack_port_t* in_ = nullptr;
  jack_port_t* out_ = nullptr;
};

}  // namespace banklore::test
