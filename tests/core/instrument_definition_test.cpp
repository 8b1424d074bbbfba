#include "core/instrument_definition.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/definitions.h"

namespace banklore {

constexpr std::int32_t kMaxSlot = std::numeric_limits<std::int32_t>::max();

static std::string numbers(std::initializer_list<std::int32_t> values) {
  std::string text;
  for (const std::int32_t n : values) text += std::to_string(n) + " ";
  return text;
}

// NumTotalPatches NumPatchesPerBank HeaderSize DataSize FooterSize PatchSize NameOffset NameLen
// SendChecksumPos RequestChecksumPos [ChecksumType,RequestChecksumType]
static std::string sizes(const InstrumentDefinition& d) {
  return numbers({d.NumTotalPatches(), d.NumPatchesPerBank(), d.HeaderSize(), d.DataSize(),
                  d.FooterSize(), d.PatchSize(), d.NameOffset(), d.NameLen(), d.SendChecksumPos(),
                  d.RequestChecksumPos()}) +
         "[" + d.ChecksumType() + "," + d.RequestChecksumType() + "]";
}

// Every field loading sets; device entries as "name=byte".
static std::string fields(const InstrumentDefinition& d) {
  std::string text = d.Request() + " " + d.Send() + " [" + d.PatchSelect() + d.Settings() + "] " +
                     numbers({d.NumEditablePatches(), d.FirstPatchNumber(), d.FirstBankSign(),
                              d.BankOffset(), d.BankRequestOffset(), d.PatchOffset()}) +
                     sizes(d) + " banks";
  for (const std::string& name : d.BankNames()) text += " " + name;
  for (unsigned i = 0; i < d.DeviceCount(); ++i)
    text += " " + d.DeviceIdNames()[i] + "=" + std::to_string(d.DeviceIdBytes()[i]);
  return text;
}

// Without the file, its section or any keys, the definition is the built-in Nova's, the same each
// way: Novation's header for 256 patches of 295 bytes in banks A and B, whose request names the
// program asked for and whose patch message matches its own template.
TEST(InstrumentDefinitionTest, MissingFileSectionOrKeysGiveTheBuiltInNova) {
  TempDir dir;
  writeFile(dir.file("other.idf"), "[Other]\nNumTotalPatches=5\nSend=f0\n");
  Recorder port;
  const std::unique_ptr<InstrumentDefinition> novas[] = {
      std::make_unique<InstrumentDefinition>(dir.file("none.idf"), "Nova", &port),
      std::make_unique<InstrumentDefinition>(dir.file("other.idf"), "Nova", &port),
      load("", &port)};
  for (const auto& d : novas) {
    EXPECT_EQ(fields(*d), fields(*novas[0]));
    EXPECT_TRUE(d->Send().starts_with("f0,00,20,29,01,21,")) << d->Send();
    EXPECT_EQ(d->PatchSize() * d->NumTotalPatches(), 295 * 256);
    EXPECT_EQ(d->patchLabel(0) + d->patchLabel(255), "A000B127");
    for (const std::int32_t slot : {0, 77, 200}) {
      port.sent.clear();
      ASSERT_TRUE(d->requestPatch(slot));
      ASSERT_EQ(port.sent.size(), 1u);
      EXPECT_EQ(copy(std::span(port.sent[0]).first(6)), (Bytes{0xF0, 0, 0x20, 0x29, 1, 0x21}));
      EXPECT_EQ(port.sent[0].end()[-2], slot % d->NumPatchesPerBank());
    }
    Bytes patch(d->PatchSize(), 0x11);
    patch.back() = 0xF7;
    ASSERT_TRUE(d->sendPatchData(patch));
    EXPECT_TRUE(d->matchesSendTemplate(port.sent.back())) << "the patch as it went out";
  }
}

// Corrections keep every size usable and the name field inside the patch, and are logged.
TEST(InstrumentDefinitionTest, DerivedAndCorrectedSizes) {
  // clang-format off
  const std::tuple<const char*, const char*, bool> cases[] = {  // section, sizes(), logged
      {"Send=f0\nDataSize=10\nNamePos=2\nNameLen=4\n", "256 128 0 10 1 11 2 4 0 0 [,]", false},
      {"SendChecksumPos=-1\nChecksumType=Q\n", "256 128 8 286 1 295 18 16 293 0 [Q,Q]", false},
      // -1 of a request is the byte before its F7 as built: the Nova's "x1" builds nothing.
      {"SendChecksumPos=-2\nRequestChecksumPos=-1\n", "256 128 8 286 1 295 18 16 292 8 [,]", true},
      {"Request=f0,7d,abc,s1,,f7\nRequestChecksumPos=-1\nRequestChecksumType=7f\n",
       "256 128 8 286 1 295 18 16 0 1 [,7f]", false},  // F0 7D s: an empty field ends it
      // Bytes above 7F that the author wrote are kept, and said; the wildcard "ff" is no such byte.
      {"Send=f0,00,ff,80,02\n", "256 128 5 286 1 292 15 16 0 0 [,]", true},
      {"NumTotalPatches=999999999\n", "16384 128 8 286 1 295 18 16 0 0 [,]", true},
      {"NumTotalPatches=300\nNumPatchesPerBank=-4\n", "300 300 8 286 1 295 18 16 0 0 [,]", true},
      {"Send=f0\nDataSize=0\nFooterSize=0\n", "256 128 0 0 1 1 1 0 0 0 [,]", true},
      {"NamePos=280\n", "256 128 8 286 1 295 288 7 0 0 [,]", true}};
  // clang-format on
  for (const auto& [section, expected, logged] : cases) {
    std::string log;
    EXPECT_EQ(sizes(*load(section, nullptr, &log)), expected) << section;
    EXPECT_EQ(log.empty(), !logged) << section << log;
  }
}

// A label is the bank's name, or its sign counted on from FirstBankSign, then the place in it.
TEST(InstrumentDefinitionTest, PatchLabels) {
  // clang-format off
  const std::tuple<const char*, std::int32_t, const char*> cases[] = {
      {"FirstPatchNumber=1\n", 255, "B128"}, {"NumTotalPatches=512\nNumPatchesPerBank=64\n", 511, "H063"},
      {"BankNames=A,,C\nNumTotalPatches=384\n", 130, "B002"}, {"FirstBankSign=1\nBankNames=,\n", 250, "350"},
      {"FirstBankSign=\nBankNames=,\n", 5, ""}, {"", kMaxSlot, "@127"}};  // 'A' + bank 16777215 wraps
  // clang-format on
  for (const auto& [section, slot, label] : cases)
    EXPECT_EQ(load(section)->patchLabel(slot), label) << section << " slot " << slot;
}

}  // namespace banklore
