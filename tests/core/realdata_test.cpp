// Factory banks of real instruments, cut into patches as bank files are read, checked slot by slot.
// The folder is absent outside the project's workplace.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/definitions.h"
#include "core/patch.h"

namespace banklore {

TEST(RealDataTest, FactoryBanksLoadIntoTheirSlotsWithNamesAndChecksums) {
  const std::string folder = std::string(BANKLORE_REALDATA_DIR) + "/";
  if (!std::filesystem::exists(folder + "oberheim_matrix")) GTEST_SKIP() << "no real data";
  // Nova program dumps: F0 00 20 29 01 21 <device> 02 <bank 05/06> <program>, name, data, F7.
  const auto nova = load("Send=f0,00,20,29,01,21,ff,02,t1,s1\nDataSize=286\nNamePos=0\n");
  // Matrix-1000 single patches: F0 10 06 01 <program> <268 nibbles> <checksum> F7.
  const auto matrix = load(
      "Send=f0,10,06,01,s1\nDataSize=268\nFooterSize=2\nNamePos=0\nNameLen=0\n"
      "BankOffset=0\nNumPatchesPerBank=100\nNumTotalPatches=1000\n"
      "ChecksumType=Matrix-1000\nSendChecksumPos=-1\n");
  const std::tuple<const char*, InstrumentDefinition*, std::size_t, std::size_t> files[] = {
      {"novation_supernova/nova_preset_banks_a_and_b.syx", nova.get(), 256, 0},
      {"novation_supernova/autechre.syx", nova.get(), 0, 296},  // an edit buffer, one byte short
      {"oberheim_matrix/edisyn_Matrix1000_BNK000.syx", matrix.get(), 100, 0},
      {"oberheim_matrix/edisyn_Matrix1000_BNK100.syx", matrix.get(), 100, 0}};
  std::vector<std::string> names;
  for (const auto& [file, d, count, leftover] : files) {
    std::FILE* stream = std::fopen((folder + file).c_str(), "rb");
    ASSERT_NE(stream, nullptr) << file;
    std::size_t read = 0, got = 0;
    for (Patch patch(*d); (got = patch.readFrom(stream)) == patch.size(); ++read) {
      EXPECT_TRUE(patch.isValid()) << file << " " << read;
      EXPECT_EQ(patch.patchNumber(), static_cast<std::int32_t>(read)) << file;
      if (d == matrix.get()) {
        EXPECT_EQ(d->computeChecksum("Matrix-1000", patch.bytes()), patch.bytes()[273]) << read;
      }
      names.push_back(patch.name());
    }
    std::fclose(stream);
    EXPECT_EQ(read, count) << file;
    EXPECT_EQ(got, leftover) << file;
  }
  EXPECT_EQ(names[0], "Sintillator M-Wh");
  EXPECT_EQ(names[255], "Init Program    ");
  EXPECT_EQ(nova->patchLabel(255), "B127");
}

}  // namespace banklore
