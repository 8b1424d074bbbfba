// The checksum rules of instrument definitions ("Virus", "Q", "Matrix-1000"/"AllDataBytes",
// "Range:" lists and their two's complement "Complement:", a fixed hexadecimal byte), computed over
// one message without reading outside it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace banklore {

// True when the type text names a rule or reads as a hexadecimal byte.
bool isChecksumRule(std::string_view type);

// The checksum of `message` under `type`; the data area is [dataStart, dataStart + dataSize).
// Positions outside the message (data area, fixed bytes of a rule or "Range:" items) add nothing.
// nullopt when the type is neither a rule nor hexadecimal (an empty type included).
std::optional<std::uint8_t> checksumByRule(std::string_view type,
                                           std::span<const std::uint8_t> message,
                                           std::int64_t dataStart, std::int64_t dataSize);

}  // namespace banklore
