#include "loopback_synth.h"

#include "midi/loopback_backend.h"

namespace banklore {

LoopbackSynth::LoopbackSynth(VirtualSynth synth, std::string name, SynthPlayer::Observer observer)
    : inputPort_(name + ":in"), outputPort_(name + ":out") {
  loopback::addPort(inputPort_, LoopbackDirection::OutputOnly);
  loopback::addPort(outputPort_, LoopbackDirection::InputOnly);
  player_ = std::make_shared<SynthPlayer>(
      std::move(synth),
      [out = outputPort_](std::span<const std::uint8_t> bytes) {
        loopback::inject(out, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
      },
      std::move(observer));
  loopback::setResponder(inputPort_, [weak = std::weak_ptr<SynthPlayer>(player_)](
                                         std::span<const std::uint8_t> message) {
    if (const auto player = weak.lock()) player->receive(message);
  });
}

LoopbackSynth::~LoopbackSynth() {
  loopback::setResponder(inputPort_, nullptr);
}

}  // namespace banklore
