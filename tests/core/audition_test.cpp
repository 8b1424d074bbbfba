#include "core/audition.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <cstdio>

#include "core/definitions.h"

namespace banklore {
namespace {

// Patches of 27 bytes: F0 7D <device> 10 <bank> <program>, 19 data bytes, checksum, F7.
constexpr char kSynth[] =
    "Send=f0,7d,u1,10,t1,s1\nDataSize=19\nFooterSize=2\nChecksumType=AllDataBytes\n"
    "SendChecksumPos=-1\nNumTotalPatches=32\nNumPatchesPerBank=16\n";

// Any header, longer or shorter than the patch's: the data area follows unchanged and the checksum
// is the rule's over the message as built, at its place after the data area.
RC_GTEST_PROP(AuditionTest, HeaderThenTheDataAreaWithItsChecksumAgain, ()) {
  const auto d = load(kSynth);
  const auto extra = *rc::gen::container<Bytes>(rc::gen::inRange<std::uint8_t>(0, 0x80));
  std::string header = "f0,7d,u1,20";
  char field[4];
  for (const std::uint8_t byte : extra)
    header.append(field, std::snprintf(field, 4, ",%02x", byte));
  const auto data = *rc::gen::container<Bytes>(19, rc::gen::inRange<std::uint8_t>(0, 0x80));
  const Bytes patch = Bytes{0xF0, 0x7D, 0x00, 0x10, 0x01, 0x02} + data + Bytes{0x55, 0xF7};
  unsigned sum = 0;
  for (const std::uint8_t byte : data) sum += byte;
  Bytes expected = buildMessage(header, d->variables()) + data;
  expected.insert(expected.end(), {static_cast<std::uint8_t>(sum & 0x7F), 0xF7});
  RC_ASSERT(auditionMessage(*d, header, patch) == expected);
}

TEST(AuditionTest, RulesOverTheHeaderAndWhatIsNeverSent) {
  // A rule's positions are those of the message as built: here its header and data bytes.
  const auto d = load(
      "Send=f0,41,10,12,t1,s1\nDataSize=2\nFooterSize=2\nChecksumType=Range:1-5\n"
      "SendChecksumPos=8\n");
  const Bytes patch = {0xF0, 0x41, 0x10, 0x12, 0x00, 0x05, 0x20, 0x30, 0x00, 0xF7};
  EXPECT_EQ(
      auditionMessage(*d, "f0,41,10,13", patch),
      (Bytes{0xF0, 0x41, 0x10, 0x13, 0x20, 0x30, (0x41 + 0x10 + 0x13 + 0x20 + 0x30) & 0x7F, 0xF7}));
  EXPECT_TRUE(auditionMessage(*d, "", patch).empty()) << "no Audition key";
  EXPECT_TRUE(auditionMessage(*d, "f0,41", Bytes(patch.begin(), patch.end() - 1)).empty());
}

}  // namespace
}  // namespace banklore
