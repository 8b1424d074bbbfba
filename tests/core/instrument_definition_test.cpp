#include "core/instrument_definition.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/support/idf_file.h"
#include "core/support/log_capture.h"

namespace banklore {
namespace {

using testing::IdfFile;
using testing::LogCapture;
using testing::missingFilePath;

const char* const kNovaSection =
    "[Nova]\n"
    "NumTotalPatches=256\nNumEditablePatches=256\nFooterSize=1\nDataSize=286\n"
    "Request=f0,00,20,29,01,21,x1,13,s2,s1,f7\nSend=f0,00,20,29,01,21,ff,02\n"
    "BankOffset=5\nBankRequestOffset=0\nPatchOffset=0\nNumPatchesPerBank=128\n"
    "NamePos=10\nNameLen=16\nSendChecksumPos=0\nRequestChecksumPos=0\n"
    "FirstPatchNumber=0\nFirstBankSign=A\n"
    "DeviceIDNames=1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16\n"
    "DeviceIDBytes=0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\n";

InstrumentDefinition load(const std::string& section, const std::string& name = "Test") {
  const IdfFile file("[" + name + "]\n" + section);
  return InstrumentDefinition(file.path(), name, nullptr);
}

void expectBuiltIn(const InstrumentDefinition& d) {
  EXPECT_EQ(d.Settings(), "");
  EXPECT_EQ(d.Request(), "f0,00,20,29,01,21,x1,13,s2,s1,f7");
  EXPECT_EQ(d.Send(), "f0,00,20,29,01,21,ff,02");
  EXPECT_EQ(d.PatchSelect(), "");
  EXPECT_EQ(d.NumTotalPatches(), 256);
  EXPECT_EQ(d.NumEditablePatches(), 256);
  EXPECT_EQ(d.NumPatchesPerBank(), 128);
  EXPECT_EQ(d.FirstPatchNumber(), 0);
  EXPECT_EQ(d.FirstBankSign(), 'A');
  EXPECT_EQ(d.BankOffset(), 5);
  EXPECT_EQ(d.BankRequestOffset(), 0);
  EXPECT_EQ(d.PatchOffset(), 0);
  EXPECT_EQ(d.HeaderSize(), 8);
  EXPECT_EQ(d.DataSize(), 286);
  EXPECT_EQ(d.FooterSize(), 1);
  EXPECT_EQ(d.PatchSize(), 295);
  EXPECT_EQ(d.NameOffset(), 18);
  EXPECT_EQ(d.NameLen(), 16);
  EXPECT_EQ(d.SendChecksumPos(), 0);
  EXPECT_EQ(d.RequestChecksumPos(), 0);
  EXPECT_EQ(d.ChecksumType(), "");
  EXPECT_EQ(d.RequestChecksumType(), "");
  EXPECT_EQ(d.BankNames(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(d.DeviceCount(), 16u);
  for (unsigned i = 0; i < InstrumentDefinition::kMaxDevices; ++i) {
    EXPECT_EQ(d.DeviceIdNames()[i], i < 16 ? std::to_string(i + 1) : "") << i;
    EXPECT_EQ(d.DeviceIdBytes()[i], i < 16 ? i : 0u) << i;
  }
  ASSERT_EQ(d.variables().size(), 3u);
  EXPECT_EQ(d.variables()[0].name, "s");
  EXPECT_EQ(d.variables()[1].name, "t");
  EXPECT_EQ(d.variables()[2].name, "u");
  for (const TemplateVariable& v : d.variables()) EXPECT_EQ(v.value, 0);
}

TEST(InstrumentDefinitionTest, MissingFileGivesTheBuiltInNova) {
  const InstrumentDefinition d(missingFilePath(), "Nova", nullptr);
  EXPECT_EQ(d.InstrumentName(), "Nova");
  expectBuiltIn(d);
}

TEST(InstrumentDefinitionTest, MissingSectionGivesTheBuiltInNova) {
  const IdfFile file("[Other]\nNumTotalPatches=5\nSend=f0\n");
  const InstrumentDefinition d(file.path(), "Nova", nullptr);
  expectBuiltIn(d);
}

TEST(InstrumentDefinitionTest, NovaSectionWrittenOutBehavesAsNoFile) {
  const IdfFile file(kNovaSection);
  expectBuiltIn(InstrumentDefinition(file.path(), "Nova", nullptr));
}

TEST(InstrumentDefinitionTest, KeysAndSectionMatchWithoutCase) {
  const IdfFile file("[MATRIX]\nnumtotalpatches=1000\nDATASIZE= 268\nsend=f0,10,06,01,s1\n");
  const InstrumentDefinition d(file.path(), "Matrix", nullptr);
  EXPECT_EQ(d.NumTotalPatches(), 1000);
  EXPECT_EQ(d.DataSize(), 268);
  EXPECT_EQ(d.HeaderSize(), 5);
  EXPECT_EQ(d.InstrumentName(), "Matrix");
}

TEST(InstrumentDefinitionTest, DerivedSizesAndPositions) {
  struct Case {
    const char* section;
    std::int32_t headerSize, patchSize, nameOffset, sendPos, requestPos;
  };
  const std::vector<Case> cases = {
      {"Send=f0\nDataSize=10\nNamePos=2\nNameLen=4\n", 0, 11, 2, 0, 0},
      {"SendChecksumPos=-1\n", 8, 295, 18, 293, 0},
      {"SendChecksumPos=-2\nRequestChecksumPos=-1\n", 8, 295, 18, 292, 9},
      {"SendChecksumPos=270\nRequestChecksumPos=7\n", 8, 295, 18, 270, 7},
      {"Send=f0,00,\nNamePos=0\n", 3, 290, 3, 0, 0},
  };
  for (const Case& c : cases) {
    const InstrumentDefinition d = load(c.section);
    EXPECT_EQ(d.HeaderSize(), c.headerSize) << c.section;
    EXPECT_EQ(d.PatchSize(), c.patchSize) << c.section;
    EXPECT_EQ(d.NameOffset(), c.nameOffset) << c.section;
    EXPECT_EQ(d.SendChecksumPos(), c.sendPos) << c.section;
    EXPECT_EQ(d.RequestChecksumPos(), c.requestPos) << c.section;
  }
}

TEST(InstrumentDefinitionTest, RequestChecksumTypeFallsBackToChecksumType) {
  struct Case {
    const char* section;
    const char* checksumType;
    const char* requestType;
  };
  const std::vector<Case> cases = {
      {"ChecksumType=Virus\n", "Virus", "Virus"},
      {"ChecksumType=Virus\nRequestChecksumType=\n", "Virus", "Virus"},
      {"ChecksumType=Virus\nRequestChecksumType=Range:1-3\n", "Virus", "Range:1-3"},
      {"RequestChecksumType=7f\n", "", "7f"},
  };
  for (const Case& c : cases) {
    const InstrumentDefinition d = load(c.section);
    EXPECT_EQ(d.ChecksumType(), c.checksumType) << c.section;
    EXPECT_EQ(d.RequestChecksumType(), c.requestType) << c.section;
  }
}

TEST(InstrumentDefinitionTest, BankNames) {
  struct Case {
    const char* section;
    std::vector<std::string> names;
  };
  const std::vector<Case> cases = {
      {"BankNames=A,B,C,D\n", {"A", "B", "C", "D"}},
      {"BankNames=A,B,\n", {"A", "B", ""}},
      {"BankNames=,X\n", {"", ""}},
      {"BankNames=A,,C\n", {"A", "", ""}},
      {"BankNames=User, Factory\n", {"User", " Factory"}},
      {"NumTotalPatches=300\n", {"A", "B"}},
      {"NumTotalPatches=100\n", {}},
      {"NumTotalPatches=512\nNumPatchesPerBank=64\n", {"A", "B", "C", "D", "E", "F", "G", "H"}},
  };
  for (const Case& c : cases) EXPECT_EQ(load(c.section).BankNames(), c.names) << c.section;
}

TEST(InstrumentDefinitionTest, DeviceTable) {
  struct Case {
    const char* section;
    unsigned count;
    std::vector<std::string> names;   // first entries
    std::vector<std::uint8_t> bytes;  // first entries
  };
  const std::vector<Case> cases = {
      {"DeviceIDNames=Omni\n", 16, {"Omni", "", ""}, {0, 1, 2}},
      {"DeviceIDBytes=127,300\n", 16, {"1", "2", "3"}, {127, 44, 0}},
      {"DeviceIDNames=a,b\nDeviceIDBytes= 7,-1,x9,12abc,,5\n",
       4,
       {"a", "b", ""},
       {7, 255, 0, 12, 0}},
      {"DeviceIDNames=,a\nDeviceIDBytes=,1\n", 0, {"", ""}, {0, 0}},
  };
  for (const Case& c : cases) {
    const InstrumentDefinition d = load(c.section);
    EXPECT_EQ(d.DeviceCount(), c.count) << c.section;
    for (std::size_t i = 0; i < c.names.size(); ++i) {
      EXPECT_EQ(d.DeviceIdNames()[i], c.names[i]) << c.section << " name " << i;
    }
    for (std::size_t i = 0; i < c.bytes.size(); ++i) {
      EXPECT_EQ(d.DeviceIdBytes()[i], c.bytes[i]) << c.section << " byte " << i;
    }
  }
}

TEST(InstrumentDefinitionTest, DeviceTableKeepsAtMost256Entries) {
  std::string names = "DeviceIDNames=";
  std::string bytes = "DeviceIDBytes=";
  for (int i = 0; i < 300; ++i) {
    names += "n" + std::to_string(i) + ",";
    bytes += std::to_string(i) + ",";
  }
  const InstrumentDefinition d = load(names + "\n" + bytes + "\n");
  EXPECT_EQ(d.DeviceCount(), 256u);
  EXPECT_EQ(d.DeviceIdNames()[255], "n255");
  EXPECT_EQ(d.DeviceIdBytes()[255], 255);
}

TEST(InstrumentDefinitionTest, TextValuesAreCutAtTheirLimits) {
  const std::string longText(3000, 'a');
  const InstrumentDefinition d =
      load("Request=" + longText + "\nSettings=" + longText + "\nPatchSelect=" + longText +
           "\nChecksumType=" + longText + "\n");
  EXPECT_EQ(d.Request().size(), 2046u);
  EXPECT_EQ(d.ChecksumType().size(), 2046u);
  EXPECT_EQ(d.Settings().size(), 2045u);
  EXPECT_EQ(d.PatchSelect().size(), 2045u);
}

TEST(InstrumentDefinitionTest, FirstBankSignIsItsFirstCharacterSigned) {
  EXPECT_EQ(load("FirstBankSign=Bank\n").FirstBankSign(), 'B');
  EXPECT_EQ(load("FirstBankSign=\n").FirstBankSign(), 0);
  EXPECT_EQ(load("FirstBankSign=\xE9\n").FirstBankSign(), -23);
}

TEST(InstrumentDefinitionTest, MalformedIntegersReadAsZero) {
  const InstrumentDefinition d = load("BankOffset=abc\nPatchOffset=-3x\nFirstPatchNumber=+7\n");
  EXPECT_EQ(d.BankOffset(), 0);
  EXPECT_EQ(d.PatchOffset(), -3);
  EXPECT_EQ(d.FirstPatchNumber(), 7);
}

TEST(InstrumentDefinitionTest, UnusableBankSizeIsCorrectedAndLogged) {
  for (const char* value : {"0", "-4", "abc"}) {
    const LogCapture log;
    const InstrumentDefinition d =
        load(std::string("NumTotalPatches=300\nNumPatchesPerBank=") + value + "\n");
    EXPECT_EQ(d.NumPatchesPerBank(), 300) << value;
    EXPECT_EQ(d.BankNames(), (std::vector<std::string>{"A"})) << value;
    EXPECT_EQ(d.patchLabel(299), "A299");
    EXPECT_NE(log.text().find("NumPatchesPerBank"), std::string::npos) << value;
  }
}

TEST(InstrumentDefinitionTest, ImpossibleSizesAreCorrected) {
  struct Case {
    const char* section;
    std::int32_t total, dataSize, footerSize, nameOffset, nameLen;
  };
  const std::vector<Case> cases = {
      {"NumTotalPatches=0\n", 1, 286, 1, 18, 16},
      {"NumTotalPatches=-7\n", 1, 286, 1, 18, 16},
      {"NumTotalPatches=999999999\n", 16384, 286, 1, 18, 16},
      {"DataSize=-5\nNamePos=0\nNameLen=4\n", 256, 0, 1, 8, 1},
      {"DataSize=99999999\n", 256, 1 << 20, 1, 18, 16},
      {"FooterSize=-1\n", 256, 286, 0, 18, 16},
      {"Send=f0\nDataSize=0\nFooterSize=0\n", 256, 0, 1, 1, 0},
      {"NamePos=-100\n", 256, 286, 1, 0, 0},
      {"NamePos=2147483647\n", 256, 286, 1, 295, 0},
      {"NamePos=290\n", 256, 286, 1, 298 - 3, 0},
      {"NamePos=280\n", 256, 286, 1, 288, 7},
      {"NameLen=-3\n", 256, 286, 1, 18, 0},
      {"NameLen=2000000000\n", 256, 286, 1, 18, 277},
  };
  for (const Case& c : cases) {
    const LogCapture log;
    const InstrumentDefinition d = load(c.section);
    EXPECT_EQ(d.NumTotalPatches(), c.total) << c.section;
    EXPECT_EQ(d.DataSize(), c.dataSize) << c.section;
    EXPECT_EQ(d.FooterSize(), c.footerSize) << c.section;
    EXPECT_EQ(d.NameOffset(), c.nameOffset) << c.section;
    EXPECT_EQ(d.NameLen(), c.nameLen) << c.section;
    EXPECT_GE(d.NameOffset(), 0);
    EXPECT_LE(d.NameOffset() + d.NameLen(), d.PatchSize()) << c.section;
    EXPECT_FALSE(log.text().empty()) << c.section;
  }
}

TEST(InstrumentDefinitionTest, RealLayoutsAreKeptAsWritten) {
  const LogCapture log;
  const InstrumentDefinition d = load(
      "NumTotalPatches=1000\nNumPatchesPerBank=100\nSend=f0,10,06,01,s1\nDataSize=268\n"
      "FooterSize=2\nNamePos=0\nNameLen=16\nBankOffset=0\nChecksumType=Matrix-1000\n"
      "SendChecksumPos=-1\nFirstBankSign=0\n");
  EXPECT_EQ(d.NumTotalPatches(), 1000);
  EXPECT_EQ(d.NumPatchesPerBank(), 100);
  EXPECT_EQ(d.PatchSize(), 275);
  EXPECT_EQ(d.NameOffset(), 5);
  EXPECT_EQ(d.NameLen(), 16);
  EXPECT_EQ(d.SendChecksumPos(), 273);
  EXPECT_EQ(log.text(), "");
}

TEST(InstrumentDefinitionTest, PatchLabels) {
  struct Case {
    const char* section;
    std::int32_t slot;
    const char* label;
  };
  const std::vector<Case> cases = {
      {"", 0, "A000"},
      {"", 127, "A127"},
      {"", 128, "B000"},
      {"", 255, "B127"},
      {"FirstPatchNumber=1\n", 0, "A001"},
      {"FirstPatchNumber=1\n", 127, "A128"},
      {"FirstPatchNumber=1\n", 255, "B128"},
      // Generated bank names win over the sign; a sign shows only for banks without a name.
      {"FirstBankSign=1\n", 0, "A000"},
      {"FirstBankSign=1\nBankNames=,\n", 0, "100"},
      {"FirstBankSign=1\nBankNames=,\n", 250, "350"},
      {"FirstBankSign=0\nBankNames=,\nNumTotalPatches=1000\nNumPatchesPerBank=100\n", 999, "999"},
      {"NumTotalPatches=300\n", 300, "C044"},
      {"NumTotalPatches=300\n", 256, "C000"},
      {"BankNames=User,,Card\nNumTotalPatches=384\n", 130, "B002"},
      {"BankNames=User,,Card\nNumTotalPatches=384\n", 257, "C001"},
      {"BankNames=User,Card\nNumTotalPatches=384\n", 129, "Card001"},
      {"BankNames=A\nFirstPatchNumber=999\n", 127, "A1126"},
      {"FirstBankSign=\nBankNames=,\n", 5, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(load(c.section).patchLabel(c.slot), c.label) << c.section << " slot " << c.slot;
  }
}

}  // namespace
}  // namespace banklore
