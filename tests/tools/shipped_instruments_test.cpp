// The shipped definitions against real dumps of their instruments, through `banklore-cli check`:
// every packet valid, in the slot it names, with its name, its checksum right and sent back byte
// for byte. The real dumps stay in the project's workplace; without them those cases skip.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <sstream>

#include "platform/temp_dir.h"

namespace banklore {
namespace {

const std::string kRealData = std::string(BANKLORE_REALDATA_DIR) + "/";

// Definitions that are not shipped: the Roland GS messages of a MIDI file with the two's-complement
// checksum and with the plain sum, the Supernova's edit-buffer dump, and the Matrix-1000 with a
// name field laid over its nibbles.
constexpr char kTestDefinitions[] =
    "[GS]\nSend=f0,41,10,42,12\nDataSize=4\nFooterSize=2\nNameLen=0\nNumTotalPatches=1\n"
    "NumPatchesPerBank=1\nChecksumType=Complement:5-8\nSendChecksumPos=-1\n"
    "[GS plain sum]\nSend=f0,41,10,42,12\nDataSize=4\nFooterSize=2\nNameLen=0\n"
    "NumTotalPatches=1\nNumPatchesPerBank=1\nChecksumType=Range:5-8\nSendChecksumPos=-1\n"
    "[Supernova edit buffer]\nSend=f0,00,20,29,01,20,u1,00,s1\nDataSize=286\nNamePos=0\n"
    "BankOffset=0\n"
    "[Matrix-1000 named]\nSend=f0,10,06,01,s1\nDataSize=268\nFooterSize=2\nNamePos=0\nNameLen=16\n"
    "BankOffset=0\nNumPatchesPerBank=100\nNumTotalPatches=1000\nChecksumType=Matrix-1000\n"
    "SendChecksumPos=-1\n";

struct Case {
  const char* instrument;
  std::string file;        // in the real-data folder, or in the test's folder
  std::vector<int> slots;  // what each packet names; empty: packet i names slot i
  std::vector<std::pair<int, std::string>> names;  // of a few packets
  std::string summary;
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
  // Each packet's line: valid, its slot, its checksum right or absent, back byte for byte.
  void expectAllGood(const Case& c) {
    SCOPED_TRACE(std::string(c.instrument) + " " + c.file);
    ASSERT_EQ(check(c), 0) << readFile(dir_.file("err"));
    ASSERT_FALSE(lines_.empty());
    EXPECT_EQ(lines_.back(), c.summary);
    for (std::size_t i = 0; i + 1 < lines_.size(); ++i) {
      const std::string& line = lines_[i];
      EXPECT_EQ(line.rfind(std::to_string(i) + ": ", 0), 0u) << line;
      const int slot = c.slots.empty() ? static_cast<int>(i) : c.slots.at(i);
      EXPECT_NE(line.find(", valid, slot " + std::to_string(slot) + " "), std::string::npos)
          << line;
      EXPECT_EQ(line.find("checksum wrong"), std::string::npos) << line;
      EXPECT_TRUE(line.ends_with(", round trip identical")) << line;
    }
    for (const auto& [packet, name] : c.names) {
      EXPECT_NE(lines_.at(static_cast<std::size_t>(packet)).find("name \"" + name + "\""),
                std::string::npos)
          << lines_[static_cast<std::size_t>(packet)];
    }
  }

  TempDir dir_;
  std::vector<std::string> lines_;
};

TEST_F(ShippedInstrumentsTest, EachSectionReadsItsInstrumentsRealDumpsAndSendsThemBackUnchanged) {
  if (!std::filesystem::exists(kRealData)) GTEST_SKIP() << "no real dumps at " << kRealData;
  // The Supernova's program dumps are the Nova's with model byte 20: made from the Nova's bank.
  std::string supernova = readFile(kRealData + "novation_supernova/nova_preset_banks_a_and_b.syx");
  ASSERT_EQ(supernova.size(), 256u * 297);
  for (std::size_t at = 5; at < supernova.size(); at += 297) supernova[at] = 0x20;
  writeFile(dir_.file("supernova.syx"), supernova);
  const std::string nova = kRealData + "novation_supernova/nova_preset_banks_a_and_b.syx";
  const Case cases[] = {
      {"Nova",
       nova,
       {},
       {{0, "Sintillator M-Wh"}, {255, "Init Program    "}},
       "256 packets: 256 valid, 0 invalid; checksums 0 ok, 0 wrong; 256 of 256 round trips "
       "identical"},
      {"Supernova",
       dir_.file("supernova.syx"),
       {},
       {{1, "Skewed Arp      "}},
       "256 packets: 256 valid, 0 invalid; checksums 0 ok, 0 wrong; 256 of 256 round trips "
       "identical"},
      // Patches 100-199 name only their program: loaded from a file they go to 0-99.
      {"Matrix-1000",
       kRealData + "oberheim_matrix/edisyn_Matrix1000_BNK000.syx",
       {},
       {{0, ""}},
       "100 packets: 100 valid, 0 invalid; checksums 100 ok, 0 wrong; 100 of 100 round trips "
       "identical"},
      {"Matrix-1000",
       kRealData + "oberheim_matrix/edisyn_Matrix1000_BNK100.syx",
       {},
       {},
       "100 packets: 100 valid, 0 invalid; checksums 100 ok, 0 wrong; 100 of 100 round trips "
       "identical"},
      {"Matrix-1000",
       kRealData + "oberheim_matrix/knobkraft_matrix1000_patch_from_device.syx",
       {16},
       {},
       "1 packet: 1 valid, 0 invalid; checksums 1 ok, 0 wrong; 1 of 1 round trip identical"},
      {"Blofeld",
       kRealData + "waldorf_blofeld/blofeld_factory_2008.syx",
       {},
       {{0, "With Love    WMF"}, {1023, "Zwitscher 1     "}},
       "1024 packets: 1024 valid, 0 invalid; checksums 1024 ok, 0 wrong; 1024 of 1024 round "
       "trips identical"},
      // A name over nibble data, and one padded with 18 bytes, come back as they went.
      {"Matrix-1000 named",
       kRealData + "oberheim_matrix/edisyn_Matrix1000_BNK000.syx",
       {},
       {},
       "100 packets: 100 valid, 0 invalid; checksums 100 ok, 0 wrong; 100 of 100 round trips "
       "identical",
       false},
      {"Supernova edit buffer",
       kRealData + "novation_supernova/autechre.syx",
       {9},
       {{0, "AUTECHRE????    "}},
       "1 packet: 1 valid, 0 invalid; checksums 0 ok, 0 wrong; 1 of 1 round trip identical",
       false},
      // The five Roland GS messages carry the two's complement of their sum.
      {"GS",
       kRealData + "smf/tonejs_tchaikovsky_seasons.mid",
       {0, 0, 0, 0, 0},
       {},
       "5 packets: 5 valid, 0 invalid; checksums 5 ok, 0 wrong; 5 of 5 round trips identical",
       false}};
  for (const Case& c : cases) expectAllGood(c);

  // The plain sum misses all five; the Supernova section refuses the edit-buffer dump.
  const Case refused[] = {
      {"GS plain sum",
       kRealData + "smf/tonejs_tchaikovsky_seasons.mid",
       {0, 0, 0, 0, 0},
       {},
       "5 packets: 5 valid, 0 invalid; checksums 0 ok, 5 wrong; 0 of 5 round trips identical",
       false},
      {"Supernova",
       kRealData + "novation_supernova/autechre.syx",
       {},
       {},
       "1 packet: 0 valid, 1 invalid; checksums 0 ok, 0 wrong; 0 of 0 round trips identical"}};
  for (const Case& c : refused) {
    EXPECT_EQ(check(c), 1) << c.instrument;
    EXPECT_EQ(lines_.back(), c.summary);
  }
  EXPECT_EQ(lines_[0],
            "0: 296 bytes, invalid: wrong length (296 bytes, expected 297), no slot, name "
            "\"UTECHRE????     \", checksum none, round trip not tried");
}

// No real Virus dump is at hand: dumps built from the documented layout, checksum summed here.
TEST_F(ShippedInstrumentsTest, VirusReadsDumpsBuiltFromItsLayout) {
  const int slots[] = {0, 1, 127, 128, 255};
  std::string syx;
  for (const int slot : slots) {
    std::string dump = {'\xF0',
                        0x00,
                        0x20,
                        0x33,
                        0x01,
                        0x03,
                        0x10,
                        static_cast<char>(1 + slot / 128),
                        static_cast<char>(slot % 128)};
    for (int i = 0; i < 256; ++i) dump.push_back(static_cast<char>((slot * 7 + i * 13) & 0x7F));
    dump.replace(9 + 240, 10, "Virus " + std::to_string(10000 + slot).substr(1));
    unsigned sum = 0;
    for (std::size_t i = 5; i < dump.size(); ++i) sum += static_cast<unsigned char>(dump[i]);
    dump += static_cast<char>(sum & 0x7F);
    dump += '\xF7';
    ASSERT_EQ(dump.size(), 267u);
    syx += dump;
  }
  writeFile(dir_.file("virus.syx"), syx);
  expectAllGood({"Virus A/B/C",
                 dir_.file("virus.syx"),
                 std::vector<int>(std::begin(slots), std::end(slots)),
                 {{2, "Virus 0127"}, {3, "Virus 0128"}},
                 "5 packets: 5 valid, 0 invalid; checksums 5 ok, 0 wrong; 5 of 5 round trips "
                 "identical"});
}

}  // namespace
}  // namespace banklore
