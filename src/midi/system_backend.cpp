#include "midi/system_backend.h"

#include <jack/jack.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "midi/jack_backend.h"
#include "midi/loopback_backend.h"
#include "midi/midi_result.h"
#include "midi/rtmidi_backend.h"

namespace banklore {
namespace {

class NullMidiBackend : public MidiBackend {
 public:
  std::vector<std::string> inputNames() override { return {}; }
  std::vector<std::string> outputNames() override { return {}; }
  bool openInput(std::size_t, InputHandler, ErrorHandler) override {
    return CheckMidiResult(MMSYSERR_NODRIVER);
  }
  void closeInput() override {}
  bool openOutput(std::size_t) override { return CheckMidiResult(MMSYSERR_NODRIVER); }
  void closeOutput() override {}
  bool isOutputOpen() const override { return false; }
  bool send(std::span<const std::uint8_t>) override { return CheckMidiResult(MMSYSERR_NODRIVER); }
};

// Opening the device node is what fails on a system without the sequencer; asking first keeps
// ALSA's own complaint off stderr.
bool alsaSequencerUsable() {
  return access("/dev/snd/seq", R_OK | W_OK) == 0;
}

void quietJack(const char*) {}
void jackToStderr(const char* text) {
  std::fprintf(stderr, "%s\n", text);
}

// A throwaway client that never starts a server; libjack's complaints about a missing server are
// expected here and kept quiet.
bool jackServerRunning() {
  jack_set_error_function(&quietJack);
  jack_set_info_function(&quietJack);
  jack_status_t status{};
  jack_client_t* client = jack_client_open("banklore-probe", JackNoStartServer, &status);
  if (client != nullptr) jack_client_close(client);
  jack_set_error_function(&jackToStderr);
  jack_set_info_function(&jackToStderr);
  return client != nullptr;
}

}  // namespace

bool MidiBackend::openVirtual(const std::string&, InputHandler, ErrorHandler) {
  // A system without ports of its own to offer.
  return CheckMidiResult(MMSYSERR_NODRIVER);
}

MidiSystem chooseMidiSystem(const char* override, bool alsaUsable, bool jackRunning) {
  const std::string_view wanted = override != nullptr ? override : "";
  if (wanted == "loopback") return MidiSystem::Loopback;
  if (wanted == "alsa") return alsaUsable ? MidiSystem::Alsa : MidiSystem::None;
  if (wanted == "jack") return jackRunning ? MidiSystem::Jack : MidiSystem::None;
  if (alsaUsable) return MidiSystem::Alsa;
  if (jackRunning) return MidiSystem::Jack;
  return MidiSystem::None;
}

std::unique_ptr<MidiBackend> makeNullMidiBackend() {
  return std::make_unique<NullMidiBackend>();
}

std::unique_ptr<MidiBackend> makeSystemMidiBackend() {
  const char* override = std::getenv("BANKLORE_MIDI_API");
  const std::string_view wanted = override != nullptr ? override : "";
  // Probe only what may be chosen: the JACK probe costs a client round trip.
  const bool alsa = wanted != "jack" && wanted != "loopback" && alsaSequencerUsable();
  const bool jack = !alsa && wanted != "alsa" && wanted != "loopback" && jackServerRunning();
  std::unique_ptr<MidiBackend> backend;
  switch (chooseMidiSystem(override, alsa, jack)) {
    case MidiSystem::Alsa:
      backend = makeRtMidiBackend(RtMidiApi::Alsa);
      break;
    case MidiSystem::Jack:
      backend = makeJackBackend();
      break;
    case MidiSystem::Loopback:
      backend = makeLoopbackBackend();
      break;
    case MidiSystem::None:
      break;
  }
  if (backend) return backend;
  CheckMidiResult(MMSYSERR_NODRIVER);
  return makeNullMidiBackend();
}

}  // namespace banklore
