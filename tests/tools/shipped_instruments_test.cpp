// The shipped definitions against real dumps of their instruments, through `banklore-cli check`:
// every packet valid, in the slot it names, its checksum right and sent back byte for byte.
// The real dumps stay in the project's workplace; without them the test skips.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <sstream>

#include "platform/temp_dir.h"

namespace banklore {
namespace {

const std::string kRealData = std::string(BANKLORE_REALDATA_DIR) + "/";

// Definitions that are not shipped: the Roland GS messages of a MIDI file with the two's-complement
// checksum and with the plain sum.
constexpr char kTestDefinitions[] =
    "[GS]\nSend=f0,41,10,42,12\nDataSize=4\nFooterSize=2\nNameLen=0\nNumTotalPatches=1\n"
    "NumPatchesPerBank=1\nChecksumType=Complement:5-8\nSendChecksumPos=-1\n"
    "[GS plain sum]\nSend=f0,41,10,42,12\nDataSize=4\nFooterSize=2\nNameLen=0\n"
    "NumTotalPatches=1\nNumPatchesPerBank=1\nChecksumType=Range:5-8\nSendChecksumPos=-1\n";

// The last line of a check where every one of `n` packets passed.
std::string allGood(int n, bool checksums) {
  const std::string count = std::to_string(n), plural = n == 1 ? "" : "s";
  return count + " packet" + plural + ": " + count + " valid, 0 invalid; checksums " +
         (checksums ? count : "0") + " ok, 0 wrong; " + count + " of " + count + " round trip" +
         plural + " identical";
}

struct Case {
  const char* instrument;
  std::string file;  // in the real-data folder, or in the test's folder
  std::string summary;
  std::vector<int> slots = {};  // what each packet names; empty: packet i names slot i
  bool shipped = true;
};

class ShippedInstrumentsTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(dir_.file("test.idf"), kTestDefinitions); }

  int check(const Case& c) {
    const std::string idf = c.shipped ? BANKLORE_IDF : dir_.file("test.idf");
    const std::string command = std::string(BANKLORE_CLI) + " check '" + c.file + "' --idf '" +
                                idf + "' --instrument '" + c.instrument + "' >'" +
                                dir_.file("out") + "' 2>'" + dir_.file("err") + "'";
    const int status = std::system(command.c_str());
    std::istringstream out(readFile(dir_.file("out")));
    lines_.clear();
    for (std::string line; std::getline(out, line);) lines_.push_back(line);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  TempDir dir_;
  std::vector<std::string> lines_;
};

TEST_F(ShippedInstrumentsTest, EachSectionReadsItsInstrumentsRealDumpsAndSendsThemBackUnchanged) {
  if (!std::filesystem::exists(kRealData)) GTEST_SKIP() << "no real dumps at " << kRealData;
  // The Supernova's program dumps are the Nova's with model byte 20: made from the Nova's bank.
  const std::string nova = kRealData + "novation_supernova/nova_preset_banks_a_and_b.syx";
  std::string supernova = readFile(nova);
  ASSERT_EQ(supernova.size(), 256u * 297);
  for (std::size_t at = 5; at < supernova.size(); at += 297) supernova[at] = 0x20;
  writeFile(dir_.file("supernova.syx"), supernova);
  const std::string matrix = kRealData + "oberheim_matrix/edisyn_Matrix1000_BNK";
  const std::string gs = kRealData + "smf/tonejs_tchaikovsky_seasons.mid";
  // clang-format off
  const Case cases[] = {
      {"Nova", nova, allGood(256, false)},
      {"Supernova", dir_.file("supernova.syx"), allGood(256, false)},
      // Patches 100-199 name only their program: loaded from a file they go to 0-99.
      {"Matrix-1000", matrix + "000.syx", allGood(100, true)},
      {"Matrix-1000", matrix + "100.syx", allGood(100, true)},
      {"Matrix-1000", kRealData + "oberheim_matrix/knobkraft_matrix1000_patch_from_device.syx",
       allGood(1, true), {16}},
      {"Blofeld", kRealData + "waldorf_blofeld/blofeld_factory_2008.syx", allGood(1024, true)},
      // The five Roland GS messages carry the two's complement of their sum.
      {"GS", gs, allGood(5, true), {0, 0, 0, 0, 0}, false}};
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.instrument) + " " + c.file);
    ASSERT_EQ(check(c), 0) << readFile(dir_.file("err"));
    ASSERT_FALSE(lines_.empty());
    EXPECT_EQ(lines_.back(), c.summary);
    for (std::size_t i = 0; i + 1 < lines_.size(); ++i) {
      const int slot = c.slots.empty() ? static_cast<int>(i) : c.slots.at(i);
      EXPECT_TRUE(lines_[i].starts_with(std::to_string(i) + ": ")) << lines_[i];
      EXPECT_NE(lines_[i].find(", valid, slot " + std::to_string(slot) + " "), std::string::npos)
          << lines_[i];
    }
  }
  // The plain sum misses all five; the Supernova section refuses the edit-buffer dump.
  EXPECT_EQ(check({"GS plain sum", gs, "", {}, false}), 1);
  EXPECT_EQ(lines_.back(),
            "5 packets: 5 valid, 0 invalid; checksums 0 ok, 5 wrong; 0 of 5 round trips identical");
  EXPECT_EQ(check({"Supernova", kRealData + "novation_supernova/autechre.syx", ""}), 1);
  EXPECT_EQ(lines_[0],
            "0: 296 bytes, invalid: wrong length (296 bytes, expected 297), no slot, name "
            "\"UTECHRE????     \", checksum none, round trip not tried");
}

}  // namespace
}  // namespace banklore
