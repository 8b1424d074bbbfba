#include "core/audition.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <cstdio>
#include <filesystem>

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

// Each shipped section's edit-buffer message against its maker's document, worked out by hand:
// the header as the document has it, the data area unchanged, and the checksum worked out again
// only where it covers the header (the Virus's: device, 10, bank and program). Real dumps where
// there are any, their first patch.
TEST(AuditionTest, ShippedSectionsAsTheirMakersDocumentsHaveThem) {
  const std::string real = std::string(BANKLORE_REALDATA_DIR) + "/";
  Bytes virus = {0xF0, 0x00, 0x20, 0x33, 0x01, 0x00, 0x10, 0x01, 0x05};
  unsigned sum = 0x03 + 0x10 + 0x00 + 0x40;
  for (int i = 0; i < 256; ++i) sum += virus.emplace_back(i * 37 & 0x7F);
  virus.insert(virus.end(), {0x11, 0xF7});
  // clang-format off
  const struct { const char* section; std::string dump; Bytes header; int checksum; } rows[] = {
      {"Virus A/B/C", "", {0xF0, 0x00, 0x20, 0x33, 0x01, 0x03, 0x10, 0x00, 0x40},
       static_cast<int>(sum & 0x7F)},
      {"Blofeld", real + "waldorf_blofeld/blofeld_factory_2008.syx",
       {0xF0, 0x3E, 0x13, 0x03, 0x10, 0x7F, 0x00}, -1},  // -1: the patch's own checksum
      {"Matrix-1000", real + "oberheim_matrix/edisyn_Matrix1000_BNK000.syx",
       {0xF0, 0x10, 0x06, 0x0D, 0x00}, -1}};
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.section);
    if (!row.dump.empty() && !std::filesystem::exists(row.dump))
      GTEST_SKIP() << "no real dumps at " << row.dump;
    InstrumentDefinition d(BANKLORE_IDF, row.section, nullptr);
    const std::string first = row.dump.empty() ? "" : readFile(row.dump).substr(0, d.PatchSize());
    const Bytes patch = row.dump.empty() ? virus : Bytes(first.begin(), first.end());
    d.selectDevice(3);
    Bytes expected = row.header + Bytes(patch.begin() + d.HeaderSize(), patch.end());
    if (row.checksum >= 0) expected.end()[-2] = static_cast<std::uint8_t>(row.checksum);
    EXPECT_EQ(auditionMessage(d, d.Audition(), patch), expected);
  }
}

}  // namespace
}  // namespace banklore
