// A librarian started in its own empty temporary folder, with fake seams.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/support/fakes.h"

namespace banklore::testing {

// A definition with device, bank and program fields in the header and a checksum after the data:
// 32 slots in two banks of 16, header f0 7d <device> 10 <bank> <program>, an 8-byte name at the
// start of the data, PatchSize 27, the checksum (sum of the data area) at byte 25, F7 at byte 26.
extern const char* const kTestDefinition;
inline constexpr int kTestPatchSize = 27;
inline constexpr int kTestChecksumPos = 25;
inline constexpr int kTestDeviceIndex = 3;
inline constexpr int kTestDeviceByte = 13;  // DeviceIDBytes entry 3

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string path(const std::string& file) const { return dir_ + file; }
  void writeFile(const std::string& file, const std::string& text) const;
  std::string readFile(const std::string& file) const;
  // Writes the test definition as instrument "Test" and selects it in the settings.
  void useTestDefinition(const std::string& extraSettings = "") const;

  // Constructs the window; with `init`, also runs window initialisation.
  MainWindow& start(bool init = true);
  // Names slot i of a bank "<prefix><i>" through the patch itself (so no renumbering happens).
  void nameSlots(int bank, const std::string& prefix);
  std::string slotName(int bank, int slot) const;  // trailing blanks removed
  std::vector<std::string> slotNames(int bank, int first, int count) const;
  // Checks that a slot holds a patch placed there: numbered to the slot, device byte 13 and a
  // checksum that matches its data area.
  void expectPlaced(int bank, int slot) const;

  std::string dir_;
  FakeView view_;
  FakePrompts prompts_;
  ManualClock clock_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace banklore::testing
