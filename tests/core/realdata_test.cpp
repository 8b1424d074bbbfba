// Factory banks of real instruments, cut into patches and checked slot by slot.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/patch.h"
#include "core/support/definitions.h"

namespace banklore {
namespace {

using testing::loadDefinition;

const std::string kRealData = BANKLORE_REALDATA_DIR;

// Nova program dumps: F0 00 20 29 01 21 <device> 02 <bank 05/06> <program>, name at 10..25, F7.
const char* const kNovaDumps =
    "Send=f0,00,20,29,01,21,ff,02,t1,s1\nRequest=f0,00,20,29,01,21,x1,13,s2,s1,f7\n"
    "DataSize=286\nFooterSize=1\nNamePos=0\nNameLen=16\nBankOffset=5\nNumPatchesPerBank=128\n"
    "NumTotalPatches=256\n";

// Matrix-1000 single patches: F0 10 06 01 <program> <268 nibbles> <checksum> F7.
const char* const kMatrix1000 =
    "Send=f0,10,06,01,s1\nDataSize=268\nFooterSize=2\nNamePos=0\nNameLen=0\nBankOffset=0\n"
    "NumPatchesPerBank=100\nNumTotalPatches=1000\nChecksumType=Matrix-1000\nSendChecksumPos=-1\n";

// Cuts a raw SysEx file into patches the way bank files are read: PatchSize bytes at a time.
std::vector<std::unique_ptr<Patch>> readPatches(const std::string& path, InstrumentDefinition& d,
                                                std::size_t* leftover) {
  std::vector<std::unique_ptr<Patch>> patches;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return patches;
  for (;;) {
    auto patch = std::make_unique<Patch>(d);
    const std::size_t got = patch->readFrom(file);
    if (got < patch->size()) {
      *leftover = got;
      break;
    }
    patches.push_back(std::move(patch));
  }
  std::fclose(file);
  return patches;
}

void skipWithoutRealData(const std::string& folder) {
  if (!std::filesystem::is_directory(kRealData + "/" + folder)) {
    GTEST_SKIP() << "real data folder " << kRealData << "/" << folder << " is absent";
  }
}

TEST(RealDataTest, NovaFactoryBanksLandInTheirSlotsWithTheirNames) {
  skipWithoutRealData("novation_supernova");
  if (::testing::Test::IsSkipped()) return;
  auto d = loadDefinition(kNovaDumps);
  ASSERT_EQ(d->PatchSize(), 297);
  std::size_t leftover = 99;
  const auto patches =
      readPatches(kRealData + "/novation_supernova/nova_preset_banks_a_and_b.syx", *d, &leftover);
  ASSERT_EQ(patches.size(), 256u);
  EXPECT_EQ(leftover, 0u);
  for (std::int32_t i = 0; i < 256; ++i) {
    const Patch& patch = *patches[static_cast<std::size_t>(i)];
    EXPECT_TRUE(patch.isValid()) << i;
    EXPECT_EQ(patch.patchNumber(), i);
    EXPECT_EQ(patch.name().size(), 16u);
  }
  EXPECT_EQ(patches.front()->name(), "Sintillator M-Wh");
  EXPECT_EQ(patches.back()->name(), "Init Program    ");
  EXPECT_EQ(d->patchLabel(patches.front()->patchNumber()), "A000");
  EXPECT_EQ(d->patchLabel(patches.back()->patchNumber()), "B127");

  // Loading into another slot renumbers the header and keeps everything else.
  Patch moved(*d);
  EXPECT_TRUE(moved.loadBytes(patches[3]->bytes()));
  moved.placeInSlot(200);
  EXPECT_TRUE(moved.isValid());
  EXPECT_EQ(moved.patchNumber(), 200);
  EXPECT_EQ(moved.bytes()[8], 0x06);
  EXPECT_EQ(moved.bytes()[9], 72);
  EXPECT_TRUE(std::equal(moved.bytes().begin() + 10, moved.bytes().end(),
                         patches[3]->bytes().begin() + 10));
}

TEST(RealDataTest, NovaEditBufferIsNotAProgramDump) {
  skipWithoutRealData("novation_supernova");
  if (::testing::Test::IsSkipped()) return;
  auto d = loadDefinition(kNovaDumps);
  std::size_t leftover = 0;
  const auto patches = readPatches(kRealData + "/novation_supernova/autechre.syx", *d, &leftover);
  EXPECT_TRUE(patches.empty());
  EXPECT_EQ(leftover, 296u);  // one byte short of a program dump
}

TEST(RealDataTest, Matrix1000ChecksumsOfAllFactoryPatches) {
  skipWithoutRealData("oberheim_matrix");
  if (::testing::Test::IsSkipped()) return;
  auto d = loadDefinition(kMatrix1000);
  ASSERT_EQ(d->PatchSize(), 275);
  ASSERT_EQ(d->SendChecksumPos(), 273);
  int checked = 0;
  for (const char* name : {"edisyn_Matrix1000_BNK000.syx", "edisyn_Matrix1000_BNK100.syx"}) {
    std::size_t leftover = 99;
    const auto patches = readPatches(kRealData + "/oberheim_matrix/" + name, *d, &leftover);
    ASSERT_EQ(patches.size(), 100u) << name;
    EXPECT_EQ(leftover, 0u);
    for (std::size_t i = 0; i < patches.size(); ++i) {
      const Patch& patch = *patches[i];
      EXPECT_TRUE(patch.isValid()) << name << " " << i;
      EXPECT_EQ(patch.patchNumber(), static_cast<std::int32_t>(i)) << name;
      EXPECT_EQ(d->computeChecksum(d->ChecksumType(), patch.bytes()), patch.bytes()[273])
          << name << " patch " << i;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 200);
}

TEST(RealDataTest, Matrix1000ChecksumIsRestoredAfterDamage) {
  skipWithoutRealData("oberheim_matrix");
  if (::testing::Test::IsSkipped()) return;
  auto d = loadDefinition(kMatrix1000);
  std::size_t leftover = 0;
  const auto patches = readPatches(
      kRealData + "/oberheim_matrix/knobkraft_matrix1000_patch_from_device.syx", *d, &leftover);
  ASSERT_EQ(patches.size(), 1u);
  const std::uint8_t original = patches[0]->bytes()[273];
  std::vector<std::uint8_t> damaged(patches[0]->bytes().begin(), patches[0]->bytes().end());
  damaged[273] = 0x00;
  Patch patch(*d);
  EXPECT_TRUE(patch.loadBytes(damaged));
  patch.placeInSlot(patches[0]->patchNumber());
  patch.updateChecksum();
  EXPECT_EQ(patch.bytes()[273], original);
  EXPECT_EQ(d->patchLabel(patch.patchNumber()), "A016");
}

}  // namespace
}  // namespace banklore
