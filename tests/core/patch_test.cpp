#include "core/patch.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "core/definitions.h"

namespace banklore {

// PatchSize 11: F0 7D <device> 10 <bank> <program>, name at 6..8, checksum of the name at 9, F7.
constexpr char kSmallSynth[] =
    "Send=f0,7d,u1,10,t1,s1\nRequest=f0,7d,u1,11,t1,s1,f7\nBankOffset=3\nNumTotalPatches=384\n"
    "DataSize=4\nFooterSize=1\nNamePos=0\nNameLen=3\nDeviceIDBytes=0,3,16\n"
    "ChecksumType=Range:6-8\nSendChecksumPos=-1\n";

// Any valid packet loads as it came, names its slot, and saved again (placed in that slot, its
// checksum renewed, written out and read back) is the same packet byte for byte.
RC_GTEST_PROP(PatchTest, AValidPacketLoadedAndSavedAgainIsByteIdentical, ()) {
  const auto d = load(kSmallSynth);
  const int slot = *rc::gen::inRange(0, 384);
  const int device = *rc::gen::inRange(0, 3);
  Bytes packet = {0xF0,
                  0x7D,
                  Bytes{0, 3, 16}[device],
                  0x10,
                  std::uint8_t(slot / 128 + 3),
                  std::uint8_t(slot % 128)};
  packet = packet + *rc::gen::container<Bytes>(3, rc::gen::inRange<std::uint8_t>(0, 0x80)) +
           Bytes{0, 0xF7};
  packet[9] = d->computeChecksum("Range:6-8", packet);
  Patch patch(*d);
  RC_ASSERT(patch.loadBytes(packet));
  RC_ASSERT(patch.patchNumber() == slot);
  patch.setDeviceId(device);
  patch.placeInSlot(patch.patchNumber());
  patch.updateChecksum();
  std::FILE* file = std::tmpfile();
  RC_ASSERT(patch.writeTo(file) == packet.size());
  std::rewind(file);
  Patch copy(*d);
  const std::size_t read = copy.readFrom(file) + copy.readFrom(file);  // one patch, then nothing
  std::fclose(file);
  RC_ASSERT(read == packet.size());
  RC_ASSERT(banklore::copy(copy.bytes()) == packet);
}

// Loading keeps every byte as it came, the name field too; the name reads cleaned (a byte outside
// 20..7F as "?", blank from the first 00 on), and a rename writes the cleaned text. An F7 or any
// other byte above 7F in the name damages the packet.
TEST(PatchTest, LoadingKeepsTheBytesNameReadsThemCleanedAndSetNameWritesItCleaned) {
  // clang-format off
  const std::tuple<Bytes, std::string, bool> cases[] = {
      {{0x41, 0x42, 0x00, 0x43}, "AB  ", true}, {{0x41, 0x0A, 0xE9, 0x20}, "A?? ", false},
      {{0x7F, 0x20, 0x1F, 0x7E}, "\x7F ?~", true}, {{0x41, 0xF7, 0x42, 0x43}, "A?BC", false}};
  // clang-format on
  const auto d = load("Send=f0,01\nDataSize=6\nNamePos=1\nNameLen=4\nBankOffset=0\n");
  for (const auto& [field, name, valid] : cases) {
    Patch patch(*d);
    const Bytes packet = Bytes{0xF0, 0x01, 0x55} + field + Bytes{0x66, 0xF7};
    EXPECT_EQ(patch.loadBytes(packet), valid);
    EXPECT_EQ(copy(patch.bytes()), packet);
    EXPECT_EQ(patch.name(), name);
    patch.setName(patch.name());
    EXPECT_EQ(copy(patch.bytes()),
              (Bytes{0xF0, 0x01, 0x55} + Bytes(name.begin(), name.end()) + Bytes{0x66, 0xF7}));
  }
  Patch patch(*d);
  patch.setName("Bass Lead");
  EXPECT_EQ(copy(patch.bytes()), (Bytes{0xF0, 0x01, 0xF7, 'B', 'a', 's', 's', 0xF7, 0xF7}));
  EXPECT_FALSE(patch.loadBytes(Bytes{0xF0, 0x7E}));
  EXPECT_EQ(copy(patch.bytes()), (Bytes{0xF0, 0x7E, 0xF7, 'B', 'a', 's', 's', 0xF7, 0xF7}))
      << "a shorter source is kept all the same and leaves the rest";
}

}  // namespace banklore
