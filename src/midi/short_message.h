// How a received short MIDI message is classified: the status class, how many bytes of it are
// passed on, and the notice for a class the program does not handle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace banklore {

// The status with its channel bits cleared below 0xF0, the status itself from 0xF0 on.
std::uint8_t statusClass(std::uint8_t status);

// Bytes forwarded for a status class (1 to 3), or nothing for a class that is not handled
// (0xF0, 0xF1, 0xF4, 0xF6, 0xF7, 0xF9, 0xFD and any byte below 0x80).
std::optional<std::size_t> shortMessageLength(std::uint8_t statusClass);

// "Got unknown (not handled) status byte f6. ..." for the given class.
std::string unknownStatusText(std::uint8_t statusClass);

}  // namespace banklore
