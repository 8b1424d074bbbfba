// The virtual synth on the in-process loopback MIDI registry, for tests: it adds the ports
// "<name>:in" (a librarian opens it as its output and sends there) and "<name>:out" (a librarian
// opens it as its input and receives the answers from there), the names the synth's own ports
// have on a real MIDI system.
#pragma once

#include <memory>
#include <string>

#include "synth_player.h"

namespace banklore {

class LoopbackSynth {
 public:
  explicit LoopbackSynth(VirtualSynth synth, std::string name = "banklore-virtual-synth",
                         SynthPlayer::Observer observer = {});
  // Stops answering. The ports stay in the registry (loopback::reset() forgets them).
  ~LoopbackSynth();
  LoopbackSynth(const LoopbackSynth&) = delete;
  LoopbackSynth& operator=(const LoopbackSynth&) = delete;

  const std::string& inputPort() const { return inputPort_; }    // where requests go
  const std::string& outputPort() const { return outputPort_; }  // where answers come from
  SynthPlayer& player() { return *player_; }

 private:
  std::string inputPort_;
  std::string outputPort_;
  // Shared with the responder, which the registry may be running on another thread while this
  // object goes away.
  std::shared_ptr<SynthPlayer> player_;
};

}  // namespace banklore
