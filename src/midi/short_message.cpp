#include "midi/short_message.h"

#include <cstdio>

namespace banklore {

std::uint8_t statusClass(std::uint8_t status) {
  return status < 0xF0 ? static_cast<std::uint8_t>(status & 0xF0) : status;
}

std::optional<std::size_t> shortMessageLength(std::uint8_t statusClass) {
  switch (statusClass) {
    case 0x80:  // note off
    case 0x90:  // note on
    case 0xA0:  // polyphonic pressure
    case 0xB0:  // control change
    case 0xE0:  // pitch bend
    case 0xF2:  // song position
      return 3;
    case 0xC0:  // program change
    case 0xD0:  // channel pressure
    case 0xF3:  // song select
      return 2;
    case 0xF5:
    case 0xF8:  // clock
    case 0xFA:  // start
    case 0xFB:  // continue
    case 0xFC:  // stop
    case 0xFE:  // active sensing
    case 0xFF:  // reset
      return 1;
    default:
      return std::nullopt;
  }
}

std::string unknownStatusText(std::uint8_t statusClass) {
  char text[160];
  std::snprintf(text, sizeof text,
                "Got unknown (not handled) status byte %02x. Please contact the author and tell "
                "him which status byte it is. Thanks!",
                statusClass);
  return text;
}

}  // namespace banklore
