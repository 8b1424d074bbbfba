// Values no instrument has, which must still give defined results without overflowing: slot
// numbers at the limits of 32 bits, and checksum data areas at the limits of 64 bits. The fuzz
// targets (tests/fuzz) found these.
#include <gtest/gtest.h>

#include <limits>
#include <tuple>

#include "core/checksum_rules.h"
#include "core/definitions.h"

namespace banklore {
namespace {

constexpr std::int32_t kMaxSlot = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();

// With one slot per bank, the bank number of slot 2^31-1 is itself: the sign letter carried that
// far must wrap as a character, not overflow.
TEST(ExtremeValuesTest, LabelsOfSlotsFarBeyondTheBanks) {
  // clang-format off
  const std::tuple<const char*, std::int32_t, const char*> cases[] = {
      {"NumPatchesPerBank=1\n", kMaxSlot, "@000"},   // 'A' + 2^31-1 wraps to '@'
      {"NumPatchesPerBank=1\n", 2, "C000"},
      {"NumPatchesPerBank=1\nFirstBankSign=9\n", kMaxSlot, "2147484547"},
      {"NumPatchesPerBank=1\nBankNames=X,Y\nFirstPatchNumber=5\n", 1, "Y005"},
      {"NumPatchesPerBank=1\nBankNames=X,Y\n", kMaxSlot, "@000"},  // beyond the names
      {"", kMaxSlot, "@127"}};  // bank 16777215, and 'A' + that wraps to '@' too
  // clang-format on
  for (const auto& [section, slot, label] : cases) {
    EXPECT_EQ(load(section)->patchLabel(slot), label) << section << slot;
  }
}

// The data area's end is its start plus its size: at the limits of 64 bits that sum must neither
// overflow nor wrap into the message.
TEST(ExtremeValuesTest, ChecksumsOfDataAreasReachingTheLimitsOf64Bits) {
  const Bytes four = {0x01, 0x02, 0x03, 0x04};
  // clang-format off
  const std::tuple<const char*, std::int64_t, std::int64_t, std::uint8_t> cases[] = {
      {"AllDataBytes", kMax64, kMax64, 0x00},  // begins beyond the message
      {"AllDataBytes", kMin64, kMax64, 0x00},  // ends before it (at -2)
      {"AllDataBytes", kMin64, kMin64, 0x00},
      {"AllDataBytes", -2, kMax64, 0x0A},      // covers all of it
      {"Virus", 1, kMax64, 0x09},              // bytes 5-8 lie outside; data 02+03+04
      {"Q", kMin64, kMax64, 0x04},             // byte 3 only
      {"Matrix-1000", kMin64, kMax64, 0x00},
      {"Matrix-1000", kMax64, kMax64, 0x00},
      {"Matrix-1000", 0, kMax64, 0x64},        // 21 + 43
      // The pair that begins before the message still has its high nibble inside: 10 + 32 + 04.
      {"Matrix-1000", -1, 5, 0x46},
      {"Matrix-1000", -3, kMax64, 0x46},
      {"Range:-9223372036854775808-9223372036854775807", 0, 0, 0x0A},
      {"Range:99999999999999999999-3,-99999999999999999999", 0, 0, 0x00}};
  // clang-format on
  for (const auto& [type, start, size, expected] : cases) {
    EXPECT_EQ(checksumByRule(type, four, start, size), expected)
        << type << " from " << start << " for " << size;
  }
}

}  // namespace
}  // namespace banklore
