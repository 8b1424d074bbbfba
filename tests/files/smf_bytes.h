// Builds Standard MIDI File bytes by hand for reader tests, and reads/writes whole files.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/temp_dir.h"

namespace banklore::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Bytes word(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

// A chunk whose stated length is the payload's, unless `stated` is given.
inline Bytes chunk(const char* id, const Bytes& payload, long long stated = -1) {
  Bytes out(id, id + 4);
  return out +
         word(stated < 0 ? static_cast<std::uint32_t>(payload.size())
                         : static_cast<std::uint32_t>(stated)) +
         payload;
}

inline Bytes header(Bytes body = {0, 0, 0, 1, 0, 0x60}) {
  return chunk("MThd", body);
}
inline Bytes track(const Bytes& events) {
  return chunk("MTrk", events);
}
inline const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};

inline void writeBytes(const std::string& path, const Bytes& bytes) {
  writeFile(path, std::string(bytes.begin(), bytes.end()));
}

inline Bytes readBytes(const std::string& path) {
  const std::string text = readFile(path);
  return Bytes(text.begin(), text.end());
}

// A SysEx message F0 <id> <n filler bytes> F7.
inline Bytes sysex(std::size_t size, std::uint8_t id) {
  Bytes message(size, 0);
  for (std::size_t i = 1; i + 1 < size; ++i)
    message[i] = static_cast<std::uint8_t>((i + id) & 0x7F);
  message.front() = 0xF0;
  if (size > 1) message.back() = 0xF7;
  if (size > 2) message[1] = id;
  return message;
}

}  // namespace banklore::testing
