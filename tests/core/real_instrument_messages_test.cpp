// What real instruments need of the codec: the two's-complement checksum of Roland and Yamaha,
// templates that build several messages, and answers whose header names only part of the slot.
#include <gtest/gtest.h>

#include "core/checksum_rules.h"
#include "core/definitions.h"

namespace banklore {

TEST(RealInstrumentMessagesTest, ComplementIsWhatBringsTheListedSumToAMultipleOf128) {
  // A Roland GS reset (F0 41 10 42 12 40 00 7F 00 <41> F7) and edge cases of the sum.
  const Bytes gsReset = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
  // clang-format off
  const std::tuple<const char*, Bytes, std::uint8_t> cases[] = {
      {"Complement:5-8", gsReset, 0x41},
      {"Range:5-8", gsReset, 0x3F},                      // the plain sum, for comparison
      {"Complement:0-1", {0x40, 0x40}, 0x00},            // 80: a multiple of 128 already
      {"Complement:0", {0x01}, 0x7F},
      {"Complement:0,2", {0x7F, 0x55, 0x7F}, 0x02},      // 0xFE
      {"Complement:1-0", {0x10, 0x20}, 0x00},            // an empty list sums to 0
      {"Complement:0-9", {0x05, 0x06}, 0x75},            // bytes past the end add nothing
      {"Complement:", {0x05}, 0x00}};
  // clang-format on
  for (const auto& [type, message, expected] : cases) {
    EXPECT_TRUE(isChecksumRule(type)) << type;
    EXPECT_EQ(checksumByRule(type, message, 0, 0), expected) << type;
  }
  // Before the hexadecimal reading, which would take "C" for the byte 0C.
  EXPECT_EQ(checksumByRule("Complement:0", Bytes{0x0C}, 0, 0), 0x74);
}

// Drivers and instruments take one buffer for one message: a template that builds a bank select
// and an unlock sends two.
TEST(RealInstrumentMessagesTest, TemplatesThatBuildSeveralMessagesSendEachOnItsOwn) {
  const Bytes select = {0xF0, 0x10, 0x06, 0x0A, 0x02, 0xF7},
              unlock = {0xF0, 0x10, 0x06, 0x0C, 0xF7};
  const Bytes request = {0xF0, 0x10, 0x06, 0x04, 0x01, 0x05, 0xF7};
  const std::string requestOne = "Request=f0,10,06,04,01,s1,f7\n";
  const std::pair<std::string, std::vector<Bytes>> cases[] = {
      {requestOne + "PatchSelect=f0,10,06,0a,t1,f7\n", {select, request}},
      {requestOne + "PatchSelect=f0,10,06,0a,t1,f7,f0,10,06,0c,f7\n", {select, unlock, request}},
      // An F7 that no F0 follows belongs to the message it ends: nothing is cut there.
      {requestOne + "PatchSelect=f0,10,06,0a,t1,f7,f7\n", {select + Bytes{0xF7}, request}},
      {"Request=f0,10,06,0c,f7,f0,10,06,04,01,s1,f7\n", {unlock, request}}};
  for (const auto& [section, expected] : cases) {
    Recorder port;
    const auto d =
        load(section + "NumPatchesPerBank=100\nNumTotalPatches=1000\nBankOffset=0\n", &port);
    EXPECT_TRUE(d->requestPatch(205)) << section;
    EXPECT_EQ(port.sent, expected) << section;
  }
}

// A received patch belongs to the slot its header names; what the header does not carry comes
// from the slot the request asked for.
TEST(RealInstrumentMessagesTest, AnAnswerTakesWhatItsHeaderLacksFromTheAwaitedSlot) {
  const std::string banks = "NumPatchesPerBank=100\nNumTotalPatches=1000\nBankOffset=0\n";
  // clang-format off
  const std::tuple<std::string, Bytes, std::int32_t, std::int32_t> cases[] = {
      {"Send=f0,10,06,01,s1\n", {0xF0, 0x10, 0x06, 0x01, 50}, 150, 150},
      {"Send=f0,10,06,01,s1\n", {0xF0, 0x10, 0x06, 0x01, 99}, 999, 999},
      {"Send=f0,10,06,01,s1\n", {0xF0, 0x10, 0x06, 0x01, 7}, 999, 907},  // another program
      {"Send=f0,10,06,01,s1\nPatchOffset=1\n", {0xF0, 0x10, 0x06, 0x01, 51}, 150, 150},
      {"Send=f0,10,06,01,t1\n", {0xF0, 0x10, 0x06, 0x01, 3}, 150, 350},   // only the bank
      {"Send=f0,10,06,01,t1,s1\n", {0xF0, 0x10, 0x06, 0x01, 3, 4}, 150, 304},
      {"Send=f0,10,06,01\n", {0xF0, 0x10, 0x06, 0x01}, 777, 777},
      {"Send=f0,10,06,01\nBankOffset=5\nPatchOffset=3\n", {0xF0, 0x10, 0x06, 0x01}, 0, 0}};
  // clang-format on
  for (const auto& [section, message, awaited, slot] : cases) {
    const auto d = load(banks + section);
    EXPECT_EQ(d->patchNumberOf(message, awaited), slot) << section << awaited;
  }
}

}  // namespace banklore
