// Variable-length quantities of Standard MIDI Files: 7 bits a byte, most significant group first,
// bit 7 set on every byte but the last. At most four bytes, so values below 2^28.
#pragma once

#include <cstddef>
#include <cstdint>

namespace banklore {

inline constexpr std::uint32_t kVariableLengthLimit = 1u << 28;  // first value that needs 5 bytes

// Encodes value (< kVariableLengthLimit) into out; returns the number of bytes (1 to 4).
inline std::size_t encodeVariableLength(std::uint32_t value, std::uint8_t out[4]) {
  std::size_t count = 1;
  while (count < 4 && (value >> (7 * count)) != 0) ++count;
  for (std::size_t i = 0; i < count; ++i) {
    const auto group = static_cast<std::uint8_t>((value >> (7 * (count - 1 - i))) & 0x7F);
    out[i] = i + 1 < count ? static_cast<std::uint8_t>(group | 0x80) : group;
  }
  return count;
}

}  // namespace banklore
