#include <gtest/gtest.h>

#include <vector>

#include "core/instrument_definition.h"
#include "core/support/definitions.h"
#include "core/support/recording_sender.h"

namespace banklore {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::loadDefinition;
using testing::RecordingSender;

const char* const kSmallSynth =
    "Send=f0,7d,u1,10,t1,s1\nRequest=f0,7d,u1,11,t1,s1,f7\nBankOffset=0\nPatchOffset=0\n"
    "NumPatchesPerBank=128\nNumTotalPatches=256\nDataSize=4\nFooterSize=1\nNamePos=0\nNameLen=2\n"
    "DeviceIDBytes=0,3,16\n";

std::int32_t value(const InstrumentDefinition& d, char name) {
  for (const TemplateVariable& v : d.variables()) {
    if (v.name.front() == name) return v.value;
  }
  return -999;
}

class InstrumentMessagesTest : public ::testing::Test {
 protected:
  std::unique_ptr<InstrumentDefinition> load(const std::string& section) {
    return loadDefinition(section, &sender_);
  }
  RecordingSender sender_;
};

TEST_F(InstrumentMessagesTest, BuiltInRequests) {
  auto d = load("");
  d->requestPatch(5);
  d->requestPatch(130);
  ASSERT_EQ(sender_.sent.size(), 2u);
  EXPECT_EQ(sender_.sent[0], (Bytes{0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0x13, 0x00, 0x05, 0xF7}));
  EXPECT_EQ(sender_.sent[1], (Bytes{0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0x13, 0x00, 0x02, 0xF7}));
  EXPECT_EQ(value(*d, 's'), 2);
  EXPECT_EQ(value(*d, 't'), 6);
}

TEST_F(InstrumentMessagesTest, EachOperationSetsOnlyItsVariables) {
  // The first occurrence of a key counts, so the overrides come first.
  auto d = load(std::string("BankRequestOffset=10\nPatchOffset=3\n") + kSmallSynth);
  Bytes buffer(d->PatchSize(), 0x00);
  d->writeDeviceByte(2, buffer);
  EXPECT_EQ(value(*d, 'u'), 16);
  EXPECT_EQ(value(*d, 's'), 0);
  d->writeHeader(130, buffer);  // s = 2 + 3, t = 1
  EXPECT_EQ(value(*d, 's'), 5);
  EXPECT_EQ(value(*d, 't'), 1);
  EXPECT_EQ(value(*d, 'u'), 16);
  d->requestPatch(130);  // v = 0 + 3 + 130 = 133: s = 5, t = 1 + 10
  EXPECT_EQ(value(*d, 's'), 5);
  EXPECT_EQ(value(*d, 't'), 11);
  EXPECT_EQ(value(*d, 'u'), 16);
  EXPECT_EQ(sender_.sent.back(), (Bytes{0xF0, 0x7D, 0x10, 0x11, 0x0B, 0x05, 0xF7}));
  d->requestPatch(126);  // v = 129: s = 1, t = 1 + 10 (the header would say place 1 of bank 0)
  EXPECT_EQ(value(*d, 's'), 1);
  EXPECT_EQ(value(*d, 't'), 11);
  d->sendPatchSelect();
  d->sendPatchData(buffer);
  EXPECT_EQ(value(*d, 's'), 1);
  EXPECT_EQ(value(*d, 'u'), 16);
}

TEST_F(InstrumentMessagesTest, HeaderDeviceByteAndSlotNumberRoundTrip) {
  auto d = load(kSmallSynth);
  Bytes buffer(d->PatchSize(), 0x55);
  d->writeDeviceByte(1, buffer);
  d->writeHeader(130, buffer);
  EXPECT_EQ(buffer, (Bytes{0xF0, 0x7D, 0x03, 0x10, 0x01, 0x02, 0x55, 0x55, 0x55, 0x55, 0x55}));
  Bytes other(d->PatchSize(), 0x00);
  d->writeDeviceByte(0, other);
  EXPECT_EQ(d->patchNumberOf(buffer), 130);
  EXPECT_EQ(value(*d, 'u'), 3);
  EXPECT_EQ(value(*d, 't'), 1);
  EXPECT_EQ(value(*d, 's'), 2);
}

TEST_F(InstrumentMessagesTest, BuiltInHeaderNamesNoSlot) {
  auto d = load("");
  Bytes buffer(d->PatchSize(), 0x11);
  d->writeHeader(130, buffer);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 9),
            (Bytes{0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0xFF, 0x02, 0x11}));
  EXPECT_EQ(value(*d, 's'), 2);
  EXPECT_EQ(value(*d, 't'), 6);
  d->writeDeviceByte(1, buffer);
  EXPECT_EQ(d->patchNumberOf(buffer), 0);
  EXPECT_EQ(value(*d, 'u'), 0);  // "Send" has no u field
}

TEST_F(InstrumentMessagesTest, HeaderIsNeverWrittenPastTheBuffer) {
  auto d = load("");
  Bytes buffer(3, 0x00);
  d->writeHeader(0, buffer);
  d->writeDeviceByte(-1, std::span(buffer).first(2));
  EXPECT_EQ(buffer, (Bytes{0xF0, 0x00, 0x20}));
}

TEST_F(InstrumentMessagesTest, PatchNumberNormalisesIntoTheSlots) {
  struct Case {
    const char* section;
    Bytes message;
    std::int32_t slot;
  };
  const std::vector<Case> cases = {
      {"Send=f0,t1,s1\nPatchOffset=2\nBankOffset=0\n", {0xF0, 0x00, 0x01}, 127},
      {"Send=f0,t1,s1\nBankOffset=0\n", {0xF0, 0x01, 0x7F}, 255},
      {"Send=f0,t1,s1\nBankOffset=0\n", {0xF0, 0x7F, 0x05}, 133},
      {"Send=f0,t1,s1\nBankOffset=0\nNumTotalPatches=300\n", {0xF0, 0x09, 0x05}, 261},
      {"Send=f0,t1,s1\nBankOffset=5\n", {0xF0, 0x06, 0x02}, 130},
      {"Send=f0,t1,s1\nBankOffset=-2147483648\nPatchOffset=2147483647\n", {0xF0, 0x00, 0x01}, 130},
      {"Send=f0,t1,s1\nBankOffset=0\nNumTotalPatches=100\nNumPatchesPerBank=128\n",
       {0xF0, 0x00, 0x7F},
       127},
      {"Send=f0,t1,s1\nBankOffset=0\nNumPatchesPerBank=1\n", {0xF0, 0x7F, 0x7F}, 254},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(load(c.section)->patchNumberOf(c.message), c.slot) << c.section;
  }
}

TEST_F(InstrumentMessagesTest, PatchSelectPrecedesEveryRequestAndPatch) {
  auto d = load(std::string(kSmallSynth) + "PatchSelect=f0,7e,t1,s1,f7\n");
  Bytes buffer(d->PatchSize(), 0x00);
  d->writeHeader(130, buffer);
  d->sendPatchData(buffer);
  d->requestPatch(3);
  ASSERT_EQ(sender_.sent.size(), 4u);
  EXPECT_EQ(sender_.sent[0], (Bytes{0xF0, 0x7E, 0x01, 0x02, 0xF7}));
  EXPECT_EQ(sender_.sent[1].size(), 11u);
  EXPECT_EQ(sender_.sent[2], (Bytes{0xF0, 0x7E, 0x00, 0x03, 0xF7}));
  EXPECT_EQ(sender_.sent[3], (Bytes{0xF0, 0x7D, 0x00, 0x11, 0x00, 0x03, 0xF7}));
}

TEST_F(InstrumentMessagesTest, WithoutPatchSelectOneMessageEach) {
  auto d = load("");
  Bytes buffer(d->PatchSize(), 0x00);
  d->sendPatchSelect();
  EXPECT_TRUE(sender_.sent.empty());
  d->requestPatch(0);
  EXPECT_EQ(sender_.sent.size(), 1u);
  d->sendPatchData(buffer);
  EXPECT_EQ(sender_.sent.size(), 2u);
}

TEST_F(InstrumentMessagesTest, EmptyTemplatesSendNothing) {
  auto d = load("Request=\nPatchSelect=,f0\n");
  d->requestPatch(1);
  d->sendPatchSelect();
  EXPECT_TRUE(sender_.sent.empty());
}

TEST_F(InstrumentMessagesTest, SendPatchDataLeavesTheCallersBufferAlone) {
  auto d = load(std::string(kSmallSynth) + "ChecksumType=AllDataBytes\nSendChecksumPos=-1\n");
  Bytes buffer = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x09, 0xF7};
  const Bytes before = buffer;
  Bytes scratch(11);
  d->writeDeviceByte(2, scratch);
  d->writeHeader(5, scratch);
  d->sendPatchData(buffer);
  EXPECT_EQ(buffer, before);
  ASSERT_EQ(sender_.sent.size(), 1u);
  // Header for slot 5 with device byte 16; checksum 01+02+03+09 at position 9.
  EXPECT_EQ(sender_.sent[0],
            (Bytes{0xF0, 0x7D, 0x10, 0x10, 0x00, 0x05, 0x01, 0x02, 0x03, 0x0F, 0xF7}));
}

TEST_F(InstrumentMessagesTest, SendChecksumNeedsATypeAndAPositionInside) {
  struct Case {
    const char* section;
    std::uint8_t expectedAt9;
  };
  const std::vector<Case> cases = {
      {"SendChecksumPos=9\n", 0x09},
      {"SendChecksumPos=0\nChecksumType=7f\n", 0x09},
      {"SendChecksumPos=9\nChecksumType=7f\n", 0x7F},
      {"SendChecksumPos=9\nChecksumType=1A5\n", 0xA5},
      {"SendChecksumPos=500\nChecksumType=7f\n", 0x09},
      {"SendChecksumPos=-40\nChecksumType=7f\n", 0x09},
      {"SendChecksumPos=9\nChecksumType=nonsense\n", 0x00},
  };
  for (const Case& c : cases) {
    auto d = load(std::string(kSmallSynth) + c.section);
    Bytes message = {0xF0, 0x7D, 0x00, 0x10, 0x00, 0x00, 0x01, 0x02, 0x03, 0x09, 0xF7};
    d->applySendChecksum(message);
    EXPECT_EQ(message[9], c.expectedAt9) << c.section;
    EXPECT_EQ(message.size(), 11u);
  }
}

TEST_F(InstrumentMessagesTest, RequestChecksumReplacesTheNamedByte) {
  struct Case {
    const char* section;
    Bytes expected;
  };
  // Request fields: f0,10,06,04,01,s1,00,f7 (8 fields); slot 3.
  const std::vector<Case> cases = {
      {"RequestChecksumPos=-1\nRequestChecksumType=Range:1-5\n",
       {0xF0, 0x10, 0x06, 0x04, 0x01, 0x03, 0x1E, 0xF7}},
      {"RequestChecksumPos=6\nRequestChecksumType=42\n",
       {0xF0, 0x10, 0x06, 0x04, 0x01, 0x03, 0x42, 0xF7}},
      {"RequestChecksumPos=6\nChecksumType=Virus\n",  // 03 + 00 + F7; no data area inside
       {0xF0, 0x10, 0x06, 0x04, 0x01, 0x03, 0x7A, 0xF7}},
      {"RequestChecksumPos=6\nChecksumType=q\nRequestChecksumType=7f\n",
       {0xF0, 0x10, 0x06, 0x04, 0x01, 0x03, 0x03, 0xF7}},
      {"RequestChecksumPos=6\n", {0xF0, 0x10, 0x06, 0x04, 0x01, 0x03, 0x00, 0xF7}},
      {"RequestChecksumPos=6\nRequestChecksumType=Roland\n",
       {0xF0, 0x10, 0x06, 0x04, 0x01, 0x03, 0x00, 0xF7}},
      {"RequestChecksumPos=60\nRequestChecksumType=7f\n",
       {0xF0, 0x10, 0x06, 0x04, 0x01, 0x03, 0x00, 0xF7}},
      {"RequestChecksumPos=-20\nRequestChecksumType=7f\n",
       {0xF0, 0x10, 0x06, 0x04, 0x01, 0x03, 0x00, 0xF7}},
  };
  for (const Case& c : cases) {
    sender_.sent.clear();
    auto d = load(std::string("Request=f0,10,06,04,01,s1,00,f7\nBankOffset=0\nDataSize=3\n") +
                  "Send=f0,10,06,04,01,s1,00,00,00\n" + c.section);
    d->requestPatch(3);
    ASSERT_EQ(sender_.sent.size(), 1u) << c.section;
    EXPECT_EQ(sender_.sent[0], c.expected) << c.section;
  }
}

TEST_F(InstrumentMessagesTest, LowerCaseQUsesTheQSumForPatches) {
  auto d = load(
      "Send=f0,3e,10,00,10\nDataSize=3\nFooterSize=2\nChecksumType=q\nSendChecksumPos=-1\n"
      "NameLen=0\n");
  Bytes message = {0xF0, 0x3E, 0x10, 0x01, 0x02, 0x03, 0x10, 0x20, 0x30, 0x00};
  d->applySendChecksum(message);
  EXPECT_EQ(message[8], 0x39);  // bytes 3 to 5 (01 02 03) + data area 5 to 7 (03 10 20)
}

TEST_F(InstrumentMessagesTest, MessageLengthAndSendTemplate) {
  auto d = load(kSmallSynth);  // PatchSize 11
  const Bytes good = {0xF0, 0x7D, 0x00, 0x10, 0x01, 0x02, 0x41, 0x42, 0x00, 0x00, 0xF7};
  EXPECT_EQ(d->messageLength(good), 10);
  EXPECT_TRUE(d->matchesSendTemplate(good));

  Bytes longer = good;
  longer.insert(longer.end() - 1, 0x00);
  EXPECT_FALSE(d->matchesSendTemplate(longer));
  Bytes trailing = good;
  trailing.push_back(0x00);  // only PatchSize bytes are looked at
  EXPECT_TRUE(d->matchesSendTemplate(trailing));
  const Bytes shorter(good.begin(), good.end() - 1);
  EXPECT_FALSE(d->matchesSendTemplate(shorter));
  EXPECT_FALSE(d->matchesSendTemplate(std::span(good).first(5)));
  Bytes innerF7 = good;
  innerF7[7] = 0xF7;
  EXPECT_EQ(d->messageLength(innerF7), 7);
  EXPECT_FALSE(d->matchesSendTemplate(innerF7));
  Bytes wrongLiteral = good;
  wrongLiteral[3] = 0x11;
  EXPECT_FALSE(d->matchesSendTemplate(wrongLiteral));
  Bytes noEnd = good;
  noEnd[10] = 0x00;
  EXPECT_EQ(d->messageLength(noEnd), 11);
  EXPECT_FALSE(d->matchesSendTemplate(noEnd));

  EXPECT_EQ(d->messageLength(Bytes{0xF7, 0x01}), 0);
  EXPECT_EQ(d->messageLength(Bytes{}), 0);
  EXPECT_FALSE(d->matchesSendTemplate(Bytes{}));
}

TEST_F(InstrumentMessagesTest, ComputeChecksumRules) {
  struct Case {
    const char* section;
    const char* type;
    Bytes message;
    std::uint8_t expected;
  };
  const char* const flat = "Send=f0\nDataSize=3\nFooterSize=0\n";             // HeaderSize 0
  const char* const virus = "Send=f0,00,20,33,01,00,10,00,00\nDataSize=3\n";  // HeaderSize 9
  const std::vector<Case> cases = {
      {flat, "Range:0-2", {0x01, 0x02, 0x03}, 0x06},
      {flat, "Range:0,2", {0x01, 0x02, 0x03}, 0x04},
      {flat, "Range:9-7,1", {0x01, 0x02, 0x03}, 0x02},
      {flat, "Range:0,,2", {0x01, 0x02, 0x03}, 0x01},
      {flat, "Range:1-100000,-5,70", {0x01, 0x02, 0x03}, 0x05},
      {flat, "Sum Range:2", {0x01, 0x02, 0x03}, 0x03},
      {flat, "x:1,Range:2", {0x01, 0x02, 0x03}, 0x03},  // the list starts after the first ':'
      {flat, "xRange:2,1", {0x01, 0x02, 0x03}, 0x05},
      {flat, "range:0-2", {0x01, 0x02, 0x03}, 0x00},
      {flat, "AllDataBytes", {0x01, 0x02, 0x03}, 0x06},
      {flat, "alldatabytes", {0x7F, 0x7F, 0x02}, 0x00},
      // Matrix-1000 rejoins the nibble pairs (low first) before summing: 21 + 03.
      {flat, "MATRIX-1000", {0x01, 0x02, 0x03}, 0x24},
      {flat, "Matrix-1000", {0x0F, 0x0F, 0x01, 0x00}, 0x00},  // FF + 01 wraps to 00
      {flat, "AllDataBytes", {0x01}, 0x01},  // the data area reaches past the message
      {"Send=f0\nDataSize=0\n", "Matrix-1000", {0x01, 0x02}, 0x00},
      {flat, "7f", {0x01, 0x02, 0x03}, 0x7F},
      {flat, "F7", {0x01}, 0xF7},
      {flat, "0x1234", {0x01}, 0x34},
      {flat, "", {0x01}, 0x00},
      {flat, "Roland", {0x01}, 0x00},
      {virus,
       "Virus",
       {0xF0, 0x00, 0x20, 0x33, 0x01, 0x01, 0x02, 0x03, 0x04, 0x10, 0x20, 0x30},
       0x6A},
      {virus, "virus", {0xF0, 0x00, 0x20, 0x33, 0x01, 0x01, 0x02}, 0x03},
      {virus,
       "Q",
       {0xF0, 0x00, 0x20, 0x33, 0x01, 0x01, 0x02, 0x03, 0x04, 0x10, 0x20, 0x30},
       0x15},  // 33 + 01 + 01 + 10 + 20 + 30 = 95
  };
  for (const Case& c : cases) {
    EXPECT_EQ(load(c.section)->computeChecksum(c.type, c.message), c.expected)
        << c.section << " " << c.type;
  }
}

TEST_F(InstrumentMessagesTest, ChecksumCoversItsOwnOldByte) {
  auto d = load("Send=f0\nDataSize=3\nFooterSize=0\nChecksumType=Range:0-2\nSendChecksumPos=2\n");
  Bytes message = {0x01, 0x02, 0x03};
  d->applySendChecksum(message);
  EXPECT_EQ(message[2], 0x06);
  d->applySendChecksum(message);
  EXPECT_EQ(message[2], 0x09);
}

TEST_F(InstrumentMessagesTest, NoPortSendsNothingAndDoesNotCrash) {
  auto d = loadDefinition("PatchSelect=f0,01,f7\n", nullptr);
  Bytes buffer(d->PatchSize(), 0);
  d->requestPatch(1);
  d->sendPatchData(buffer);
  SUCCEED();
}

}  // namespace
}  // namespace banklore
