#include "core/checksum_rules.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "core/sysex_template.h"
#include "platform/profile.h"

namespace banklore {
namespace {

// Sum of the bytes at positions [first, last], both included; positions outside the message count
// nothing, so a huge or inverted range costs nothing either.
std::uint32_t sumRange(std::span<const std::uint8_t> message, std::int64_t first,
                       std::int64_t last) {
  first = std::max<std::int64_t>(first, 0);
  last = std::min<std::int64_t>(last, static_cast<std::int64_t>(message.size()) - 1);
  std::uint32_t sum = 0;
  for (std::int64_t i = first; i <= last; ++i) sum += message[static_cast<std::size_t>(i)];
  return sum;
}

// first + count, saturated at the limits of 64 bits: an area that reaches that far ends beyond
// any message anyway.
std::int64_t endOf(std::int64_t first, std::int64_t count) {
  return static_cast<std::int64_t>(std::clamp<__int128>(__int128{first} + count,
                                                        std::numeric_limits<std::int64_t>::min(),
                                                        std::numeric_limits<std::int64_t>::max()));
}

// Sum of the `count` bytes from position `first` on, however far either lies outside the message.
std::uint32_t sumArea(std::span<const std::uint8_t> message, std::int64_t first,
                      std::int64_t count) {
  const std::int64_t end = endOf(first, count);
  return end <= first ? 0 : sumRange(message, first, end - 1);
}

// The Matrix-1000 sends each data byte as two nibbles, low first, and sums the bytes before
// they were split, so the sum is over the rejoined bytes. A lone last nibble is a byte of its own.
std::uint32_t sumNibblePairs(std::span<const std::uint8_t> message, std::int64_t first,
                             std::int64_t count) {
  const auto size = static_cast<std::int64_t>(message.size());
  const std::int64_t end = endOf(first, count);
  std::uint32_t sum = 0;
  std::int64_t i = first;
  // From the pair that holds position 0, keeping the pairing: a pair that begins before the
  // message still has its high nibble inside it.
  if (i < 0) i = (first & 1) != 0 ? -1 : 0;
  for (; i < end && i < size; i += 2) {
    const std::uint32_t low = i >= 0 ? message[static_cast<std::size_t>(i)] & 0x0Fu : 0u;
    const bool hasHigh = i + 1 < end && i + 1 < size;
    const std::uint32_t high = hasHigh ? message[static_cast<std::size_t>(i + 1)] & 0x0Fu : 0u;
    sum += low | (high << 4);
  }
  return sum;
}

std::uint8_t masked(std::uint32_t sum) {
  return static_cast<std::uint8_t>(sum & 0x7F);
}

// The items after the first ':': "a-b" (both included) or "n"; the list ends at an empty item.
// Shared by "Range:" and "Complement:".
std::uint32_t sumRangeList(std::string_view type, std::span<const std::uint8_t> message) {
  FieldTokenizer items{std::string(type.substr(type.find(':') + 1))};
  std::uint32_t sum = 0;
  for (auto item = items.nextField(','); item && !item->empty(); item = items.nextField(',')) {
    std::size_t used = 0;
    const std::int64_t first = leadingDecimal(*item, &used);
    std::int64_t last = first;
    if (used < item->size() && (*item)[used] == '-') last = leadingDecimal(item->substr(used + 1));
    sum += sumRange(message, first, last);
  }
  return sum;
}

// strtoul-like: blanks, an optional 0x, then at least one hexadecimal digit; the rest is ignored.
std::optional<std::uint8_t> hexadecimalByte(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (text.size() - i > 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
      std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
    i += 2;
  }
  if (i >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
  std::uint32_t value = 0;
  for (; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    value = (value << 4) | static_cast<std::uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  return static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

bool isChecksumRule(std::string_view type) {
  return equalsIgnoringCase(type, "Virus") || equalsIgnoringCase(type, "Q") ||
         equalsIgnoringCase(type, "Matrix-1000") || equalsIgnoringCase(type, "AllDataBytes") ||
         type.find("Range:") != std::string_view::npos ||
         type.find("Complement:") != std::string_view::npos || hexadecimalByte(type).has_value();
}

std::optional<std::uint8_t> checksumByRule(std::string_view type,
                                           std::span<const std::uint8_t> message,
                                           std::int64_t dataStart, std::int64_t dataSize) {
  const std::uint32_t data = sumArea(message, dataStart, dataSize);
  if (equalsIgnoringCase(type, "Virus")) return masked(sumRange(message, 5, 8) + data);
  if (equalsIgnoringCase(type, "Q")) return masked(sumRange(message, 3, 5) + data);
  if (equalsIgnoringCase(type, "Matrix-1000")) {
    return dataSize > 0 ? masked(sumNibblePairs(message, dataStart, dataSize)) : 0;
  }
  if (equalsIgnoringCase(type, "AllDataBytes")) return dataSize > 0 ? masked(data) : 0;
  if (type.find("Range:") != std::string_view::npos) return masked(sumRangeList(type, message));
  // Roland's and Yamaha's: the byte that brings the sum of the listed bytes to a multiple of 128.
  // Before the hexadecimal reading, which would take its "C" for the byte 0C.
  if (type.find("Complement:") != std::string_view::npos) {
    return masked(0x80 - (sumRangeList(type, message) & 0x7F));
  }
  return hexadecimalByte(type);
}

}  // namespace banklore
