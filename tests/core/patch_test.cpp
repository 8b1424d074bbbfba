#include "core/patch.h"

#include <gtest/gtest.h>

#include "core/definitions.h"

namespace banklore {

// PatchSize 11: F0 7D <device> 10 <bank> <program>, name at 6..8, checksum of the name at 9, F7.
constexpr char kSmallSynth[] =
    "Send=f0,7d,u1,10,t1,s1\nRequest=f0,7d,u1,11,t1,s1,f7\nBankOffset=0\nNumTotalPatches=256\n"
    "DataSize=4\nFooterSize=1\nNamePos=0\nNameLen=3\nDeviceIDBytes=0,3,16\n"
    "ChecksumType=Range:6-8\nSendChecksumPos=-1\n";

TEST(PatchTest, NewPatchIsAnInvalidPlaceholder) {
  const auto d = load(""), shortName = load("NameLen=8\n"), noName = load("NamePos=-50\n");
  const Bytes untitled = {'<', 'U', 'n', 't', 'i', 't', 'l', 'e', 'd', '>'};
  EXPECT_EQ(copy(Patch(*d).bytes()),
            (Bytes{0xF0, 0, 0x20, 0x29, 1, 0x21, 0x00, 2} + Bytes(10, 0xF7) + untitled +
             Bytes(6, ' ') + Bytes(261, 0xF7)));
  EXPECT_FALSE(Patch(*d).isValid()) << "the F7 filling ends the message early";
  EXPECT_EQ(Patch(*shortName).name(), "<Untitle");
  Patch nameless(*noName);
  nameless.setName("Anything");
  EXPECT_EQ(copy(nameless.bytes()), copy(Patch(*d).bytes().first(8)) + Bytes(287, 0xF7));
}

// Loading keeps every byte as it came, the name field too; the name reads cleaned (a byte outside
// 20..7F as "?", blank from the first 00 on), and a rename writes the cleaned text. An F7 or any
// other byte above 7F in the name damages the packet.
TEST(PatchTest, LoadingKeepsTheBytesNameReadsThemCleanedAndSetNameWritesItCleaned) {
  // clang-format off
  const std::tuple<Bytes, std::string, bool> cases[] = {
      {{0x41, 0x42, 0x00, 0x43}, "AB  ", true},
      {{0x41, 0x0A, 0xE9, 0x20}, "A?? ", false},
      {{0x7F, 0x20, 0x1F, 0x7E}, "\x7F ?~", true},
      {{0x7F, 0x20, 0x1F, 0x80}, "\x7F ??", false},
      {{0x41, 0xF7, 0x42, 0x43}, "A?BC", false},
      {{0x41, 0x42, 0x43, 0xF7}, "ABC?", false}};
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
  patch.setName(std::string("\xE9\0Z", 3));
  EXPECT_EQ(patch.name(), "?   ");
}

// loadBytes keeps what it gets, read and write move one patch, and the slot calls reach the port.
TEST(PatchTest, LoadReadWriteAndSlotForwarders) {
  Recorder port;
  const auto d = load(kSmallSynth, &port);
  Patch patch(*d);
  const Bytes good = {0xF0, 0x7D, 0x00, 0x10, 0x01, 0x02, 0x41, 0x42, 0x43, 0x11, 0xF7};
  EXPECT_TRUE(patch.loadBytes(good));
  EXPECT_FALSE(patch.loadBytes(Bytes{0xF0, 0x7E}));
  EXPECT_EQ(patch.bytes()[1], 0x7E) << "kept all the same";
  EXPECT_TRUE(patch.loadBytes(Bytes{0xF0, 0x7D})) << "a shorter source leaves the rest";
  EXPECT_EQ(patch.name(), "ABC");
  EXPECT_FALSE(patch.isValid(std::span(good).first(10)));
  std::FILE* file = std::tmpfile();
  EXPECT_EQ(patch.writeTo(file), 11u);
  std::rewind(file);
  Patch target(*d);
  EXPECT_EQ(target.readFrom(file) + target.readFrom(file), 11u) << "one patch, then nothing";
  std::fclose(file);
  EXPECT_EQ(copy(target.bytes()), copy(patch.bytes()));
  EXPECT_EQ(target.readFrom(nullptr) + target.writeTo(nullptr), 0u);
  patch.setDeviceId(257);  // index 1, byte 03
  patch.placeInSlot(131);
  EXPECT_EQ(patch.bytes()[2], 0x03);
  EXPECT_EQ(patch.patchNumber(), 131);
  patch.setDeviceId(-254);  // index 2, byte 16
  patch.updateChecksum();
  EXPECT_EQ(copy(patch.bytes()),
            (Bytes{0xF0, 0x7D, 0x10, 0x10, 1, 3, 0x41, 0x42, 0x43, 0x46, 0xF7}));
  patch.request(-1);
  patch.request(5);
  EXPECT_EQ(port.sent, (std::vector<Bytes>{{0xF0, 0x7D, 0x10, 0x11, 0x00, 0x05, 0xF7}}));
  EXPECT_EQ(patch.patchNumber(), 131) << "a request leaves the buffer alone";
  patch.send(-1);  // to the slot its header names
  EXPECT_EQ(patch.patchNumber(), 131);
  EXPECT_EQ(port.sent.back(), copy(patch.bytes()));
  patch.send(7);
  EXPECT_EQ(port.sent.back()[5], 7);
  EXPECT_EQ(patch.patchNumber(), 7);
}

}  // namespace banklore
