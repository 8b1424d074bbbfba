// MIDI's Universal Identity Request and Reply, and the `Identity=` key of a definition section
// that tells which reply is this section's instrument: how detection finds an instrument on any
// port without the user knowing which one, or its device ID.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace banklore {

// F0 7E 7F 06 01 F7: "whoever you are, say so", to every device ID.
inline constexpr std::uint8_t kIdentityRequest[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};

// Our own request, seen again: a MIDI loop (a thru box, a patch bay) sends it back, and it is no
// instrument.
bool isIdentityRequest(std::span<const std::uint8_t> message);

struct IdentityReply {
  std::uint8_t device = 0;  // the device byte the instrument answers with
  // From the manufacturer ID on (1 byte, or 00 and 2 more), then family (2), model (2) and version
  // (4): what `Identity=` patterns are compared with.
  std::vector<std::uint8_t> bytes;
};

// F0 7E <device> 06 02 <manufacturer> <family> <model> <version> F7, whole and nothing more, all
// data bytes; nullopt for anything else.
std::optional<IdentityReply> parseIdentityReply(std::span<const std::uint8_t> message);

// An `Identity=` value: comma-separated hex bytes, "ff" for any byte (kept as -1). Nullopt when it
// is empty or holds anything else, so that a mistyped key matches nothing rather than everything.
std::optional<std::vector<int>> parseIdentityPattern(std::string_view text);

// Whether each byte of the pattern equals the reply's byte at its place (or is "ff"); a pattern
// longer than the reply does not match.
bool identityMatches(std::span<const int> pattern, const IdentityReply& reply);

}  // namespace banklore
