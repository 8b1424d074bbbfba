#include "midi/system_backend.h"

#include <jack/jack.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <thread>

#include "midi/jack_backend.h"
#include "midi/loopback_backend.h"
#include "midi/midi_result.h"
#include "midi/rtmidi_backend.h"
#include "platform/debug_log.h"

namespace banklore {
namespace {

class NullMidiBackend : public MidiBackend {
 public:
  explicit NullMidiBackend(std::string reason) : reason_(std::move(reason)) {}

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
  std::string unavailableReason() const override { return reason_; }

 private:
  const std::string reason_;
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

// A client that never starts a server; libjack's complaints about a missing server are expected
// here and kept quiet.
std::unique_ptr<MidiBackend> openJackQuietly() {
  jack_set_error_function(&quietJack);
  jack_set_info_function(&quietJack);
  std::unique_ptr<MidiBackend> backend = makeJackBackend();
  jack_set_error_function(&jackToStderr);
  jack_set_info_function(&jackToStderr);
  return backend;
}

// Hands a result from the opening thread to the waiting one, or to nobody once that gave up.
struct PendingOpen {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool abandoned = false;
  std::unique_ptr<MidiBackend> backend;
};

std::unique_ptr<MidiBackend> withoutMidi(const std::string& reason) {
  WriteLog(LogPath(), "No MIDI: %s.\n", reason.c_str());
  CheckMidiResult(MMSYSERR_NODRIVER);
  return makeUnavailableMidiBackend(reason);
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
  return std::make_unique<NullMidiBackend>(std::string());
}

std::unique_ptr<MidiBackend> makeUnavailableMidiBackend(std::string reason) {
  return std::make_unique<NullMidiBackend>(std::move(reason));
}

std::optional<std::unique_ptr<MidiBackend>> openWithin(
    std::function<std::unique_ptr<MidiBackend>()> open, std::chrono::milliseconds deadline) {
  auto pending = std::make_shared<PendingOpen>();
  std::thread([pending, open = std::move(open)] {
    std::unique_ptr<MidiBackend> backend = open();
    std::unique_lock lock(pending->mutex);
    if (pending->abandoned) {
      lock.unlock();
      return;  // too late: nobody takes it, and it goes with this thread
    }
    pending->backend = std::move(backend);
    pending->finished = true;
    pending->done.notify_all();
  }).detach();
  std::unique_lock lock(pending->mutex);
  if (!pending->done.wait_for(lock, deadline, [&] { return pending->finished; })) {
    pending->abandoned = true;
    return std::nullopt;
  }
  return std::move(pending->backend);
}

MidiSystemProbes systemMidiProbes() {
  return {&alsaSequencerUsable, &openJackQuietly, std::chrono::milliseconds(2000)};
}

std::unique_ptr<MidiBackend> openSystemMidi(const char* override, const MidiSystemProbes& probes) {
  const std::string_view wanted = override != nullptr ? override : "";
  // Probe only what may be chosen: opening a JACK client costs a round trip to the server.
  const bool alsa = wanted != "jack" && wanted != "loopback" && probes.alsaUsable();
  std::unique_ptr<MidiBackend> jack;
  if (!alsa && wanted != "alsa" && wanted != "loopback") {
    auto opened = openWithin(probes.openJack, probes.jackDeadline);
    if (!opened) {
      const auto seconds = std::chrono::duration<double>(probes.jackDeadline).count();
      char reason[200];
      std::snprintf(reason, sizeof reason,
                    "the JACK library did not answer within %g s (a JACK state under /dev/shm "
                    "left damaged by a killed program can do that)",
                    seconds);
      return withoutMidi(reason);
    }
    jack = std::move(*opened);
  }
  switch (chooseMidiSystem(override, alsa, jack != nullptr)) {
    case MidiSystem::Alsa:
      if (auto backend = makeRtMidiBackend(RtMidiApi::Alsa)) return backend;
      return withoutMidi("the ALSA sequencer could not be opened");
    case MidiSystem::Jack:
      return jack;
    case MidiSystem::Loopback:
      return makeLoopbackBackend();
    case MidiSystem::None:
      break;
  }
  if (wanted == "alsa")
    return withoutMidi("BANKLORE_MIDI_API=alsa, but there is no ALSA sequencer");
  if (wanted == "jack") return withoutMidi("BANKLORE_MIDI_API=jack, but no JACK server runs");
  return withoutMidi("neither an ALSA sequencer nor a JACK server was found");
}

std::unique_ptr<MidiBackend> makeSystemMidiBackend() {
  return openSystemMidi(std::getenv("BANKLORE_MIDI_API"), systemMidiProbes());
}

}  // namespace banklore
