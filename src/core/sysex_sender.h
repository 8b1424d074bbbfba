// The one thing the codec needs from MIDI: send a complete SysEx message. MidiPort implements it;
// tests use a recorder.
#pragma once

#include <cstddef>
#include <cstdint>

namespace banklore {

class SysExSender {
 public:
  virtual ~SysExSender() = default;
  // Sends `length` bytes (a whole F0..F7 message). Nothing for length 0. The bytes are the caller's
  // and may be released as soon as this returns. True when the message was handed to the device.
  virtual bool SendSysEx(const std::uint8_t* bytes, std::size_t length) = 0;
};

}  // namespace banklore
