#include "app/support/app_fixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace banklore::testing {

const char* const kTestDefinition =
    "[Test]\n"
    "Settings=TestSynth\n"
    "NumTotalPatches=32\n"
    "NumEditablePatches=32\n"
    "NumPatchesPerBank=16\n"
    "FooterSize=2\n"
    "DataSize=19\n"
    "Request=f0,7d,u1,11,t1,s1,f7\n"
    "Send=f0,7d,u1,10,t1,s1\n"
    "BankOffset=0\n"
    "PatchOffset=0\n"
    "NamePos=0\n"
    "NameLen=8\n"
    "ChecksumType=AllDataBytes\n"
    "SendChecksumPos=-1\n"
    "BankNames=A,B\n"
    "DeviceIDBytes=10,11,12,13,14,15\n";

void AppTest::SetUp() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "_" + info->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  const std::filesystem::path folder = std::filesystem::path(BANKLORE_TEST_TMPDIR) / "app" / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  dir_ = folder.string() + "/";
}

void AppTest::TearDown() {
  window_.reset();
}

void AppTest::writeFile(const std::string& file, const std::string& text) const {
  std::ofstream out(path(file), std::ios::binary);
  out << text;
}

std::string AppTest::readFile(const std::string& file) const {
  std::ifstream in(path(file), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void AppTest::useTestDefinition(const std::string& extraSettings) const {
  writeFile("banklore.idf", kTestDefinition);
  writeFile("banklore.ini",
            "[General]\nInstrument=Test\n[TestSynth]\nDeviceID=3\n" + extraSettings);
}

MainWindow& AppTest::start(bool init) {
  window_ = std::make_unique<MainWindow>(
      ProgramPaths{dir_, "banklore"}, std::make_unique<NoPortsBackend>(), view_, prompts_, clock_);
  if (init) window_->initWindow();
  return *window_;
}

void AppTest::nameSlots(int bank, const std::string& prefix) {
  for (int i = 0; i < window_->slotCount(); ++i) {
    window_->bank(bank).slots[static_cast<std::size_t>(i)].setName(prefix + std::to_string(i));
  }
}

std::string AppTest::slotName(int bank, int slot) const {
  std::string text = window_->name(bank, slot);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::vector<std::string> AppTest::slotNames(int bank, int first, int count) const {
  std::vector<std::string> names;
  for (int i = first; i < first + count; ++i) names.push_back(slotName(bank, i));
  return names;
}

void AppTest::expectPlaced(int bank, int slot) const {
  const Patch& patch = window_->bank(bank).slots[static_cast<std::size_t>(slot)];
  const auto bytes = patch.bytes();
  ASSERT_EQ(bytes.size(), static_cast<std::size_t>(kTestPatchSize));
  EXPECT_EQ(bytes[2], kTestDeviceByte) << "device byte of slot " << slot;
  EXPECT_EQ(bytes[4], slot / 16) << "bank byte of slot " << slot;
  EXPECT_EQ(bytes[5], slot % 16) << "program byte of slot " << slot;
  unsigned sum = 0;
  for (int i = 6; i < 6 + 19; ++i) sum += bytes[static_cast<std::size_t>(i)];
  EXPECT_EQ(bytes[kTestChecksumPos], sum & 0x7F) << "checksum of slot " << slot;
}

}  // namespace banklore::testing
