#include "core/identity.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

namespace banklore {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Any reply an instrument can give, with a one- or three-byte manufacturer ID, reads back whole;
// the same reply one byte short or long, or with a status byte inside, is none.
RC_GTEST_PROP(IdentityTest, RepliesReadBackAndNearMissesAreNone, ()) {
  const auto data = rc::gen::inRange<std::uint8_t>(0, 0x80);
  const bool extended = *rc::gen::arbitrary<bool>();
  Bytes id = extended ? Bytes{0x00, *data, *data} : Bytes{*rc::gen::inRange<std::uint8_t>(1, 0x80)};
  for (int i = 0; i < 8; ++i) id.push_back(*data);  // family, model, version
  const std::uint8_t device = *data;
  Bytes reply = {0xF0, 0x7E, device, 0x06, 0x02};
  reply.insert(reply.end(), id.begin(), id.end());
  reply.push_back(0xF7);

  const auto read = parseIdentityReply(reply);
  RC_ASSERT(read.has_value());
  RC_ASSERT(read->device == device);
  RC_ASSERT(read->bytes == id);
  RC_ASSERT(!isIdentityRequest(reply));

  Bytes longer = reply, shorter = reply, status = reply;
  longer.insert(longer.end() - 1, *data);
  shorter.erase(shorter.end() - 2);
  status[*rc::gen::inRange<std::size_t>(2, reply.size() - 1)] |= 0x80;
  for (const Bytes& miss : {longer, shorter, status}) RC_ASSERT(!parseIdentityReply(miss));
}

// A pattern matches when each of its bytes is the reply's at that place or "ff"; against a plain
// comparison, for patterns cut from the reply itself with bytes changed or made wildcards.
RC_GTEST_PROP(IdentityTest, PatternsMatchByteForByteWithWildcards, ()) {
  const IdentityReply reply{
      0x10, *rc::gen::container<Bytes>(11, rc::gen::inRange<std::uint8_t>(0, 0x80))};
  const auto length = *rc::gen::inRange<std::size_t>(1, 13);
  std::string text;
  bool expected = length <= reply.bytes.size();
  for (std::size_t i = 0; i < length; ++i) {
    const int kind = *rc::gen::inRange(0, 3);  // 0: the reply's byte, 1: "ff", 2: any byte
    const int byte =
        i >= reply.bytes.size() || kind == 2 ? *rc::gen::inRange(0, 0x80) : reply.bytes[i];
    if (kind == 2 && i < reply.bytes.size() && byte != reply.bytes[i]) expected = false;
    char field[4];
    std::snprintf(field, sizeof field, "%02x", kind == 1 ? 0xFF : byte);
    text += (i == 0 ? "" : ", ") + std::string(field);
  }
  const auto pattern = parseIdentityPattern(text);
  RC_ASSERT(pattern.has_value());
  RC_ASSERT(identityMatches(*pattern, reply) == expected);
}

TEST(IdentityTest, RequestsAndPatternsThatAreNone) {
  EXPECT_TRUE(isIdentityRequest(kIdentityRequest));
  EXPECT_TRUE(isIdentityRequest(Bytes{0xF0, 0x7E, 0x10, 0x06, 0x01, 0xF7})) << "to one device";
  EXPECT_FALSE(isIdentityRequest(Bytes{0xF0, 0x7E, 0x7F, 0x06, 0x02, 0xF7}));
  for (const char* text : {"", "3e,,13", "3e,x3", "3e,100", "3e 13"})
    EXPECT_FALSE(parseIdentityPattern(text)) << text;
  EXPECT_EQ(parseIdentityPattern("3e,FF,13"), (std::vector<int>{0x3E, -1, 0x13}));
}

}  // namespace
}  // namespace banklore
