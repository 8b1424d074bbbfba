#include "midi/support/jack_thru.h"

#include <jack/midiport.h>

#include <thread>

namespace banklore::test {

std::unique_ptr<JackThru> JackThru::start(const std::string& clientName) {
  auto thru = std::make_unique<JackThru>();
  jack_status_t status{};
  thru->client_ = jack_client_open(clientName.c_str(),
                                   JackOptions(JackNoStartServer | JackUseExactName), &status);
  if (thru->client_ == nullptr) return nullptr;
  thru->in_ = jack_port_register(thru->client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  thru->out_ =
      jack_port_register(thru->client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  if (thru->in_ == nullptr || thru->out_ == nullptr) return nullptr;
  jack_set_process_callback(thru->client_, &JackThru::process, thru.get());
  if (jack_activate(thru->client_) != 0) return nullptr;
  return thru;
}

JackThru::~JackThru() {
  if (client_ == nullptr) return;
  jack_deactivate(client_);
  jack_client_close(client_);
}

std::string JackThru::inputName() const {
  return jack_port_name(in_);
}
std::string JackThru::outputName() const {
  return jack_port_name(out_);
}

bool JackThru::waitConnected(std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (jack_port_connected(in_) > 0 && jack_port_connected(out_) > 0) {
      // A connection takes effect with the next cycle; give it two.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

int JackThru::process(jack_nframes_t frames, void* self) {
  auto* thru = static_cast<JackThru*>(self);
  void* in = jack_port_get_buffer(thru->in_, frames);
  void* out = jack_port_get_buffer(thru->out_, frames);
  jack_midi_clear_buffer(out);
  const jack_nframes_t count = jack_midi_get_event_count(in);
  for (jack_nframes_t i = 0; i < count; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, in, i) == 0) {
      jack_midi_event_write(out, event.time, event.buffer, event.size);
    }
  }
  return 0;
}

}  // namespace banklore::test
