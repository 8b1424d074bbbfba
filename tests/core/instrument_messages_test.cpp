#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <limits>

#include "core/checksum_rules.h"
#include "core/definitions.h"
#include "core/patch.h"

namespace banklore {

constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();

// PatchSize 11: F0 7D <device> 10 <bank> <program>, four data bytes, F7.
constexpr char kSmallSynth[] =
    "Send=f0,7d,u1,10,t1,s1\nRequest=f0,7d,u1,11,t1,s1,f7\nBankOffset=0\nNumTotalPatches=256\n"
    "DataSize=4\nFooterSize=1\nNamePos=0\nNameLen=2\nDeviceIDBytes=0,3,16\n";

// The built-in Nova's, then a small synth's whose header, request and slot share the variables.
TEST(InstrumentMessagesTest, RequestsAndHeaders) {
  Recorder port;
  auto d = load("", &port);
  // The wildcard at 6 carries the device byte, as the instrument's own dumps do.
  const Bytes header = {0xF0, 0, 0x20, 0x29, 1, 0x21, 0x00, 2, 0x11};
  Bytes buffer(d->PatchSize(), 0x11);
  d->sendPatchData(buffer);  // the header goes into the copy that is sent, alone
  EXPECT_EQ(copy(std::span(port.sent.at(0)).first(9)), header);
  d->writeHeader(130, buffer);
  EXPECT_EQ(copy(std::span(buffer).first(9)), header);
  d->writeDeviceByte(5, buffer);
  EXPECT_EQ(buffer[6], 0x05);
  EXPECT_TRUE(d->matchesSendTemplate(Bytes{0xF0, 0, 0x20, 0x29, 1, 0x21, 0xFF, 2} +
                                     Bytes(286, 0x11) + Bytes{0xF7}))
      << "matching still takes any byte there";
  EXPECT_EQ(d->patchNumberOf(buffer), 0) << "the header names no slot";
  Bytes tooShort(3);  // never written past its end
  d->writeHeader(0, tooShort);
  d->writeDeviceByte(-1, std::span(tooShort).first(2));
  EXPECT_EQ(tooShort, (Bytes{0xF0, 0x00, 0x20}));
  load("Request=\nPatchSelect=,f0\n", &port)->requestPatch(1);
  EXPECT_EQ(port.sent.size(), 1u) << "empty templates send nothing";

  d = load(std::string("BankRequestOffset=10\nPatchOffset=3\n") + kSmallSynth, &port);
  buffer.assign(d->PatchSize(), 0x55);
  d->writeDeviceByte(1, buffer);
  d->writeHeader(130, buffer);  // s = 2 + PatchOffset, t = 1
  EXPECT_EQ(buffer, (Bytes{0xF0, 0x7D, 0x03, 0x10, 0x01, 0x05, 0x55, 0x55, 0x55, 0x55, 0x55}));
  d->requestPatch(130);  // 133: place 5 of bank 1 + BankRequestOffset; u as the header left it
  EXPECT_EQ(port.sent.back(), (Bytes{0xF0, 0x7D, 0x03, 0x11, 0x0B, 0x05, 0xF7}));
  EXPECT_EQ(d->patchNumberOf(buffer), 130);
}

// A send counts as gone out only when every message of it did, the patch select included; whether
// a patch message names its slot at all decides where a received one belongs.
TEST(InstrumentMessagesTest, SendsReportRefusedMessagesAndTheSendTemplateTellsWhetherItNamesASlot) {
  Recorder port;
  auto d = load(std::string("PatchSelect=f0,01,s1,f7\n") + kSmallSynth, &port);
  Bytes patch(d->PatchSize(), 0x11);
  EXPECT_TRUE(d->requestPatch(3) && d->sendPatchData(patch));
  for (const long refuseFrom : {0L, 5L}) {  // the select refused / the message after it refused
    port.sent.resize(4);
    port.refuseFrom = refuseFrom;
    EXPECT_FALSE(d->requestPatch(3)) << refuseFrom;
    EXPECT_FALSE(d->sendPatchData(patch)) << refuseFrom;
  }
  EXPECT_FALSE(load(kSmallSynth)->requestPatch(3)) << "no port at all";
  EXPECT_TRUE(d->sendTemplateNamesSlot());
  EXPECT_TRUE(load("Send=f0,7d,00,t2\n")->sendTemplateNamesSlot());
  EXPECT_FALSE(load("")->sendTemplateNamesSlot()) << "the built-in header carries no slot";
  EXPECT_FALSE(load("Send=f0,7d,u1,,s1\n")->sendTemplateNamesSlot()) << "past an empty field";
  // The whole slot: program and bank, or the program of an instrument with one bank.
  EXPECT_FALSE(load("Send=f0,7d,00,t2\n")->sendTemplateNamesWholeSlot());
  EXPECT_FALSE(load("Send=f0,7d,00,s1\n")->sendTemplateNamesWholeSlot());
  EXPECT_TRUE(load("Send=f0,7d,00,s1\nNumTotalPatches=128\n")->sendTemplateNamesWholeSlot());
  EXPECT_TRUE(load("Send=f0,7d,t1,s1\n")->sendTemplateNamesWholeSlot());
}

// Only PatchSize bytes are looked at, and never one past the end.
TEST(InstrumentMessagesTest, MessageLengthAndSendTemplate) {
  const auto d = load(kSmallSynth);
  const Bytes good = {0xF0, 0x7D, 0x00, 0x10, 0x01, 0x02, 0x41, 0x42, 0x00, 0x00, 0xF7};
  const Bytes cut(good.begin(), good.end() - 1);
  // clang-format off
  const std::tuple<Bytes, std::int32_t, bool> cases[] = {
      {good, 10, true}, {good + Bytes{0}, 10, true}, {cut, 11, false}, {{}, 0, false},
      {{0xF0, 0x7D, 0x00, 0x10, 0x01, 0x02, 0x41, 0xFE, 0x00, 0x00, 0xF7}, 10, false},
      {{0xF0, 0x7D, 0x00, 0x10, 0x81, 0x02, 0x41, 0x42, 0x00, 0x00, 0xF7}, 10, false}};
  // clang-format on
  for (const auto& [bytes, length, matches] : cases) {
    EXPECT_EQ(d->messageLength(bytes), length) << bytes.size();
    EXPECT_EQ(d->matchesSendTemplate(bytes), matches) << bytes.size();
  }
}

// Each rule against a plain sum of the bytes it names: the data area [start, start + size), which
// may reach past either end of the message (to the limits of 64 bits), fixed header bytes, or a
// list of positions and ranges. Matrix-1000 rejoins nibble pairs, low nibble first.
RC_GTEST_PROP(ChecksumRulesTest, EachRuleIsThePlainSumOfTheBytesItNames, ()) {
  const auto message = *rc::gen::container<Bytes>(rc::gen::inRange<std::uint8_t>(0, 0x80));
  const auto edge = rc::gen::weightedOneOf<std::int64_t>(
      {{6, rc::gen::inRange<std::int64_t>(-3, 30)},
       {1, rc::gen::element(kMin64, kMin64 + 1, kMax64 - 1, kMax64)}});
  const std::int64_t start = *edge, size = *edge;
  unsigned data = 0, nibbles = 0, virus = 0, q = 0, listed = 0;
  std::string list;  // "Range:" and "Complement:" items: a position or a range, both ends in
  for (int items = *rc::gen::inRange(0, 4); items > 0; --items) {
    const int first = *rc::gen::inRange(-2, 30);
    const int last = *rc::gen::arbitrary<bool>() ? first : *rc::gen::inRange(-2, 30);
    list += std::to_string(first) + (last != first ? "-" + std::to_string(last) : "") + ",";
    for (int i = std::max(first, 0); i <= last && i < static_cast<int>(message.size()); ++i)
      listed += message[static_cast<std::size_t>(i)];
  }
  for (std::size_t i = 0; i < message.size(); ++i) {
    const __int128 at = i;
    if (start <= at && at < __int128{start} + size) {
      data += message[i];
      nibbles += (message[i] & 0x0Fu) << ((at - start) % 2 != 0 ? 4 : 0);
    }
    if (i >= 5 && i <= 8) virus += message[i];
    if (i >= 3 && i <= 5) q += message[i];
  }
  const auto rule = [&](const char* type) { return checksumByRule(type, message, start, size); };
  RC_ASSERT(rule(*rc::gen::element("Virus", "virus")) == ((virus + data) & 0x7F));
  RC_ASSERT(rule(*rc::gen::element("Q", "q")) == ((q + data) & 0x7F));
  RC_ASSERT(rule("AllDataBytes") == (size > 0 ? data & 0x7F : 0));
  RC_ASSERT(rule(*rc::gen::element("Matrix-1000", "MATRIX-1000")) ==
            (size > 0 ? nibbles & 0x7F : 0));
  RC_ASSERT(rule(("Range:" + list).c_str()) == (listed & 0x7F));
  // Roland's and Yamaha's complement: the data byte that brings the sum to a multiple of 128.
  const std::uint8_t complement = *rule(("Complement:" + list).c_str());
  RC_ASSERT(complement < 0x80 && (listed + complement) % 128 == 0);
}

// How a type is read: the list after the first ':' up to an empty item, a hexadecimal byte's low
// byte, and no checksum for a word that is no rule.
TEST(ChecksumRulesTest, TypesReadAsRulesListsOrHexadecimalBytes) {
  const Bytes three = {0x01, 0x02, 0x03};
  // clang-format off
  const std::pair<const char*, std::optional<std::uint8_t>> cases[] = {
      {"Range:0,,2", 0x01}, {"x:0,Range:2", 0x02}, {"range:0-2", std::nullopt}, {"F7", 0xF7},
      {"0x1234", 0x34}, {"Roland", std::nullopt}, {"", std::nullopt}};
  // clang-format on
  for (const auto& [type, expected] : cases)
    EXPECT_EQ(checksumByRule(type, three, 0, 3), expected) << type;
  EXPECT_EQ(load("Send=f0\nDataSize=3\n")->computeChecksum("Roland", three), 0) << "no rule: 0";
}

// Drivers and instruments take one buffer for one message: a template that builds a bank select
// and an unlock sends two.
TEST(InstrumentMessagesTest, TemplatesThatBuildSeveralMessagesSendEachOnItsOwn) {
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

// A received patch belongs to the slot its header names, brought into the slots from above or
// below; what the header does not carry comes from the slot the request asked for (-1: none).
TEST(InstrumentMessagesTest, AnAnswerBelongsToTheSlotItsHeaderNamesOrTheAwaitedOne) {
  // clang-format off
  const std::tuple<std::string, Bytes, std::int32_t, std::int32_t> cases[] = {
      {"Send=f0,t1,s1\nPatchOffset=2\n", {0xF0, 0x00, 0x01}, -1, 99},
      {"Send=f0,t1,s1\n", {0xF0, 0x7F, 0x05}, -1, 905}, {"Send=f0,t1,s1\n", {0xF0, 0x0A, 0x00}, -1, 900},
      {"Send=f0,t1,s1\nBankOffset=5\n", {0xF0, 0x06, 0x02}, -1, 102},
      {"Send=f0,10,06,01,s1\n", {0xF0, 0x10, 0x06, 0x01, 7}, 999, 907},  // another program
      {"Send=f0,10,06,01,s1\nPatchOffset=1\n", {0xF0, 0x10, 0x06, 0x01, 51}, 150, 150},
      {"Send=f0,10,06,01,t1\n", {0xF0, 0x10, 0x06, 0x01, 3}, 150, 350},   // only the bank
      {"Send=f0,10,06,01\nBankOffset=5\nPatchOffset=3\n", {0xF0, 0x10, 0x06, 0x01}, 0, 0}};
  // clang-format on
  for (const auto& [section, message, awaited, slot] : cases) {
    const auto d = load(section + "NumPatchesPerBank=100\nNumTotalPatches=1000\nBankOffset=0\n");
    EXPECT_EQ(awaited < 0 ? d->patchNumberOf(message) : d->patchNumberOf(message, awaited), slot)
        << section << awaited;
  }
}

}  // namespace banklore
