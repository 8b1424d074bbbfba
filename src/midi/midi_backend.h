// What MidiPort needs from a system's MIDI services: ports listed by stable names, one input and
// one output opened by index, whole messages in, bytes out. RtMidi (ALSA), libjack (JACK) and an
// in-process loopback implement it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace banklore {

enum class MidiInputError { Short, Long };  // an invalid short message / an invalid or broken SysEx

class MidiBackend {
 public:
  // Called on the backend's own thread with one whole message (a SysEx message arrives whole).
  using InputHandler = std::function<void(std::span<const std::uint8_t> message)>;
  using ErrorHandler = std::function<void(MidiInputError error)>;

  virtual ~MidiBackend() = default;

  virtual std::vector<std::string> inputNames() = 0;
  virtual std::vector<std::string> outputNames() = 0;
  // Opening replaces an open port of the same direction and ends the virtual ports. Failures are
  // logged and return false.
  virtual bool openInput(std::size_t index, InputHandler onMessage, ErrorHandler onError) = 0;
  // After closeInput returns, no handler call is running or will start.
  virtual void closeInput() = 0;
  virtual bool openOutput(std::size_t index) = 0;
  virtual void closeOutput() = 0;
  virtual bool isOutputOpen() const = 0;
  virtual bool send(std::span<const std::uint8_t> message) = 0;

  // This program's own ports, which other MIDI software connects to (as an instrument would be):
  // on JACK one client named exactly `clientName` with the ports "in" and "out" (listed by others
  // as "<clientName>:in" and "<clientName>:out"); on ALSA a client of that name with ports "in"
  // and "out"; on the loopback registry the ports "<clientName>:in" (others send to it) and
  // "<clientName>:out" (others receive from it). Input to "in" reaches the handlers as with
  // openInput; send() then goes out of "out". Replaces an open input and output. False (logged)
  // when the system refuses, for example because the name is taken.
  virtual bool openVirtual(const std::string& clientName, InputHandler onMessage,
                           ErrorHandler onError);
  // Ends what openVirtual opened; harmless when nothing is open. After it returns no handler runs.
  virtual void closeVirtual() {}

  // Told on a thread of the backend's own (never a real-time one) when ports may have come or
  // gone, or the MIDI system itself went away; what changed is for the owner to ask. After it
  // returns the old handler does not run any more (unless called from inside it). A backend that
  // cannot tell never calls it.
  using ChangeHandler = std::function<void()>;
  virtual void setChangeHandler(ChangeHandler handler) { (void)handler; }
  // Whether the open input / output still reaches the port it was opened on: false once that
  // port went away (a device unplugged, its program ended), even if one of that name is back.
  virtual bool inputConnected() { return true; }
  virtual bool outputConnected() { return isOutputOpen(); }
  // Why there is no MIDI system behind this backend (empty while there is one), in words for the
  // user: none was found at start, or it went away (the JACK server ended).
  virtual std::string unavailableReason() const { return {}; }
};

// The system's MIDI: the ALSA sequencer when available, else JACK (BANKLORE_MIDI_API=alsa|jack
// overrides). With neither, or when JACK does not answer in time, a backend with no ports that
// says why, so the program runs without MIDI.
std::unique_ptr<MidiBackend> makeSystemMidiBackend();

}  // namespace banklore
