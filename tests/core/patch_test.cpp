#include "core/patch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/support/definitions.h"
#include "core/support/recording_sender.h"

namespace banklore {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::loadDefinition;
using testing::RecordingSender;

// PatchSize 11: header F0 7D u 10 t s, four data bytes (name at 6..8), F7.
const char* const kSmallSynth =
    "Send=f0,7d,u1,10,t1,s1\nRequest=f0,7d,u1,11,t1,s1,f7\nBankOffset=0\nNumTotalPatches=256\n"
    "DataSize=4\nFooterSize=1\nNamePos=0\nNameLen=3\nDeviceIDBytes=0,3,16\n"
    "ChecksumType=Range:6-8\nSendChecksumPos=-1\n";

class PatchTest : public ::testing::Test {
 protected:
  RecordingSender sender_;
};

TEST_F(PatchTest, NewPatchUnderTheBuiltInDefinition) {
  auto d = loadDefinition("");
  const Patch patch(*d);
  ASSERT_EQ(patch.size(), 295u);
  const auto bytes = patch.bytes();
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 8),
            (Bytes{0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0xFF, 0x02}));
  EXPECT_EQ(std::string(bytes.begin() + 18, bytes.begin() + 34), "<Untitled>      ");
  for (std::size_t i = 8; i < bytes.size(); ++i) {
    if (i < 18 || i >= 34) {
      EXPECT_EQ(bytes[i], 0xF7) << i;
    }
  }
  EXPECT_EQ(patch.name(), "<Untitled>      ");
  EXPECT_FALSE(patch.isValid());  // the F7 filling ends the message early
}

TEST_F(PatchTest, ShortNameFieldCutsThePlaceholder) {
  auto d = loadDefinition("NameLen=8\n");
  EXPECT_EQ(Patch(*d).name(), "<Untitle");
}

TEST_F(PatchTest, NameReadsPrintableBytesUpToTheFirstZero) {
  struct Case {
    Bytes field;
    std::string name;
    Bytes normalised;
  };
  const std::vector<Case> cases = {
      {{0x41, 0x42, 0x00, 0x43}, "AB", {0x41, 0x42, 0x20, 0x20}},
      {{0x41, 0x0A, 0x42, 0x20}, "A?B ", {0x41, 0x3F, 0x42, 0x20}},
      {{0x41, 0xE9, 0x00, 0x00}, "A?", {0x41, 0x3F, 0x20, 0x20}},
      {{0x7F, 0x20, 0x1F, 0x80}, "\x7F ??", {0x7F, 0x20, 0x3F, 0x3F}},
      {{0x00, 0x41, 0x42, 0x43}, "", {0x20, 0x20, 0x20, 0x20}},
  };
  auto d = loadDefinition("Send=f0,01\nDataSize=6\nNamePos=1\nNameLen=4\nBankOffset=0\n");
  for (const Case& c : cases) {
    Bytes message = {0xF0, 0x01, 0x55};
    message.insert(message.end(), c.field.begin(), c.field.end());
    message.insert(message.end(), {0x66, 0xF7});
    Patch patch(*d);
    // readFrom takes the bytes as they are, so name() sees the raw field.
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fwrite(message.data(), 1, message.size(), file);
    std::rewind(file);
    ASSERT_EQ(patch.readFrom(file), message.size());
    std::fclose(file);
    EXPECT_EQ(patch.name(), c.name);
    EXPECT_TRUE(patch.loadBytes(message));
    EXPECT_EQ(Bytes(patch.bytes().begin() + 3, patch.bytes().begin() + 7), c.normalised);
    EXPECT_EQ(patch.bytes()[2], 0x55);
    EXPECT_EQ(patch.bytes()[7], 0x66);
  }
}

TEST_F(PatchTest, SetNamePadsOrCuts) {
  auto d = loadDefinition("NameLen=4\n");
  Patch patch(*d);
  patch.setName("Bass Lead");
  EXPECT_EQ(patch.name(), "Bass");
  patch.setName("Pad");
  EXPECT_EQ(patch.name(), "Pad ");
  patch.setName("");
  EXPECT_EQ(patch.name(), "    ");
  EXPECT_EQ(patch.bytes()[22], 0xF7);      // the byte after the field
  patch.setName(std::string("A\x01", 2));  // not filtered on writing
  EXPECT_EQ(patch.bytes()[19], 0x01);
}

TEST_F(PatchTest, LoadBytesReportsValidity) {
  auto d = loadDefinition(kSmallSynth);
  Patch patch(*d);
  const Bytes good = {0xF0, 0x7D, 0x00, 0x10, 0x01, 0x02, 0x41, 0x42, 0x43, 0x11, 0xF7};
  EXPECT_TRUE(patch.loadBytes(good));
  EXPECT_EQ(patch.name(), "ABC");
  Bytes wrong = good;
  wrong[1] = 0x7E;
  EXPECT_FALSE(patch.loadBytes(wrong));
  EXPECT_EQ(patch.bytes()[1], 0x7E);  // kept all the same
  EXPECT_TRUE(patch.loadBytes(good));
  // A shorter source leaves the rest as it was.
  EXPECT_TRUE(patch.loadBytes(Bytes{0xF0, 0x7D, 0x05}));
  EXPECT_EQ(patch.bytes()[2], 0x05);
  EXPECT_EQ(patch.name(), "ABC");
  EXPECT_FALSE(patch.isValid(std::span(good).first(10)));
  EXPECT_TRUE(patch.isValid(good));
}

TEST_F(PatchTest, ReadAndWriteMoveExactlyOnePatch) {
  auto d = loadDefinition(kSmallSynth);
  Patch source(*d);
  source.setName("XYZ");
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(source.writeTo(file), 11u);
  EXPECT_EQ(source.writeTo(file), 11u);
  std::fputc(0xF0, file);
  std::rewind(file);
  Patch target(*d);
  EXPECT_EQ(target.readFrom(file), 11u);
  EXPECT_EQ(target.name(), "XYZ");
  EXPECT_EQ(target.readFrom(file), 11u);
  EXPECT_EQ(target.readFrom(file), 1u);
  EXPECT_EQ(target.readFrom(file), 0u);
  std::fclose(file);
  EXPECT_EQ(target.readFrom(nullptr), 0u);
  EXPECT_EQ(target.writeTo(nullptr), 0u);
}

TEST_F(PatchTest, SlotForwarders) {
  auto d = loadDefinition(kSmallSynth, &sender_);
  Patch patch(*d);
  patch.setName("ABC");
  patch.setDeviceId(257);  // index 1, byte 03
  patch.placeInSlot(130);
  EXPECT_EQ(patch.bytes()[2], 0x03);
  EXPECT_EQ(patch.patchNumber(), 130);
  patch.setDeviceId(-254);  // index 2, byte 16
  EXPECT_EQ(patch.bytes()[2], 0x10);
  patch.updateChecksum();
  EXPECT_EQ(patch.bytes()[9], (0x41 + 0x42 + 0x43) & 0x7F);

  patch.request(-1);
  EXPECT_TRUE(sender_.sent.empty());
  patch.request(5);
  ASSERT_EQ(sender_.sent.size(), 1u);
  EXPECT_EQ(sender_.sent[0], (Bytes{0xF0, 0x7D, 0x10, 0x11, 0x00, 0x05, 0xF7}));
  EXPECT_EQ(patch.patchNumber(), 130);  // a request leaves the buffer alone

  patch.send(-1);  // to the slot its header names
  ASSERT_EQ(sender_.sent.size(), 2u);
  EXPECT_EQ(sender_.sent[1][4], 0x01);
  EXPECT_EQ(sender_.sent[1][5], 0x02);
  patch.send(7);
  EXPECT_EQ(patch.patchNumber(), 7);
  EXPECT_EQ(sender_.sent[2], Bytes(patch.bytes().begin(), patch.bytes().end()));
}

TEST_F(PatchTest, NoNameFieldIsHarmless) {
  auto d = loadDefinition("NamePos=-50\n");
  Patch patch(*d);
  patch.setName("Anything");
  EXPECT_EQ(patch.name(), "");
  for (std::size_t i = 8; i < patch.size(); ++i) {
    EXPECT_EQ(patch.bytes()[i], 0xF7) << i;
  }
}

}  // namespace
}  // namespace banklore
