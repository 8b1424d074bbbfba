// Checksum rules over any message, with data areas and "Range:" items anywhere (negative, inverted,
// far beyond the message, up to the limits of 64 bits). Invariants:
// - Nothing outside the message is read, and no arithmetic overflows (the sanitizers watch).
// - Each rule gives what a plain sum over the message's own positions gives: a position outside
//   the message adds nothing. Rules mask to seven bits; a fixed hexadecimal byte is itself.
// - For any type text, there is a result exactly when isChecksumRule says it names a rule.
#include <limits>

#include "core/checksum_rules.h"
#include "fuzz_support.h"

namespace banklore::fuzz {
namespace {

using Wide = __int128;

// Sum of the message's bytes at positions [first, last].
Wide sumOver(std::span<const std::uint8_t> message, Wide first, Wide last) {
  Wide sum = 0;
  for (std::size_t i = 0; i < message.size(); ++i) {
    if (Wide(i) >= first && Wide(i) <= last) sum += message[i];
  }
  return sum;
}

std::uint8_t masked(Wide sum) {
  return static_cast<std::uint8_t>(static_cast<std::uint64_t>(sum) & 0x7F);
}

std::int64_t extremeOr(FuzzedDataProvider& in, std::int64_t small) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return std::numeric_limits<std::int64_t>::max() - in.ConsumeIntegralInRange(0, 3);
    case 1:
      return std::numeric_limits<std::int64_t>::min() + in.ConsumeIntegralInRange(0, 3);
    case 2:
      return in.ConsumeIntegral<std::int64_t>();
    default:
      return small;
  }
}

}  // namespace
}  // namespace banklore::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace banklore;
  using namespace banklore::fuzz;
  FuzzedDataProvider in(data, size);
  const Bytes message = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 64));
  const std::int64_t dataStart = extremeOr(in, in.ConsumeIntegralInRange(-4, 70));
  const std::int64_t dataSize = extremeOr(in, in.ConsumeIntegralInRange(-4, 70));
  const Wide dataSum = sumOver(message, dataStart, Wide(dataStart) + dataSize - 1);

  std::string type;
  std::optional<std::uint8_t> expected;
  switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0:
      type = "Virus";
      expected = masked(sumOver(message, 5, 8) + dataSum);
      break;
    case 1:
      type = "q";
      expected = masked(sumOver(message, 3, 5) + dataSum);
      break;
    case 2: {
      type = "MATRIX-1000";
      Wide sum = 0;  // each data byte is a nibble, low first: even places low, odd places high
      for (std::size_t i = 0; i < message.size(); ++i) {
        const Wide place = Wide(i) - dataStart;
        if (place >= 0 && place < dataSize) sum += (message[i] & 0x0F) << (place % 2 == 0 ? 0 : 4);
      }
      expected = dataSize > 0 ? masked(sum) : 0;
      break;
    }
    case 3:
      type = "AllDataBytes";
      expected = dataSize > 0 ? masked(dataSum) : 0;
      break;
    case 4:
    case 5: {
      const bool complement = in.ConsumeBool() && isChecksumRule("Complement:1");
      type = complement ? "Complement:" : "Range:";
      Wide sum = 0;
      for (int items = in.ConsumeIntegralInRange(0, 6); items > 0; --items) {
        const std::int64_t first = extremeOr(in, in.ConsumeIntegralInRange(-3, 70));
        if (in.ConsumeBool()) {
          type += std::to_string(first) + ",";
          sum += sumOver(message, first, first);
        } else {
          const std::int64_t last = extremeOr(in, in.ConsumeIntegralInRange(-3, 70));
          type += std::to_string(first) + "-" + std::to_string(last) + ",";
          sum += sumOver(message, first, last);
        }
      }
      expected = complement ? masked(0x80 - (sum & 0x7F)) : masked(sum);
      break;
    }
    case 6: {
      const auto byte = in.ConsumeIntegral<std::uint8_t>();
      char text[8];
      std::snprintf(text, sizeof text, in.ConsumeBool() ? "%x" : "0x%02X", byte);
      type = text;
      expected = byte;
      break;
    }
    default:
      type = in.ConsumeRandomLengthString(32);
  }

  const std::optional<std::uint8_t> checksum = checksumByRule(type, message, dataStart, dataSize);
  FUZZ_CHECK_MSG(checksum.has_value() == isChecksumRule(type), type);
  if (expected) {
    FUZZ_CHECK_MSG(checksum == expected,
                   type + " over " + hex(message) + " from " + std::to_string(dataStart) + " for " +
                       std::to_string(dataSize) + ": " + std::to_string(checksum.value_or(0)) +
                       ", expected " + std::to_string(*expected));
  }
  return 0;
}
