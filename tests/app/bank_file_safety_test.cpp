// Saving bank files where the user's data is at stake: slots without a valid patch, on the test
// definition (27-byte patches that name their own slot). Saves to protected targets:
// tests/tools/protected_files_test.cpp; loads of FIFOs: bank_files_test.cpp.
#include "app/support/app_fixture.h"
#include "files/midi_file.h"

namespace banklore::testing {
namespace {

class BankFileSafetyTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    startOnTestDefinition();
    fill({0, 2, 5});  // the other slots hold placeholders
  }
  // The command with the file the dialog answers: the boxes shown and the status that stays.
  std::string run(CommandId command, const std::string& file, std::vector<int> selection = {0}) {
    view_.banks[0].selection = std::move(selection);
    prompts_.messages.clear();
    window_->SetStatus(0, "Ready.");
    prompts_.files.push_back(path(file));
    prompts_.yesNo = {true};
    window_->onCommand(command);
    std::string text;
    for (const std::string& m : prompts_.messages) text += m + " | ";
    return text + view_.banks[0].status;
  }
  // The patches in a file: a raw file's bytes, a MIDI file's SysEx messages one after the other.
  std::string patchesIn(const std::string& file) const {
    MidiFileReader reader;
    if (!file.ends_with(".mid") || !reader.Read(path(file))) return readFile(file);
    std::string patches;
    for (int i = 0; const auto m = reader.message(i); ++i) patches.append(m->begin(), m->end());
    return patches;
  }
};

TEST_F(BankFileSafetyTest, SavingLeavesOutSlotsWithoutAValidPatchAndSaysSo) {
  writeFile("old.syx", "old");
  const struct {
    const char* file;
    std::vector<int> selection;
    const char* status;
    std::vector<int> saved;  // none: the file is left as it was, or not created
  } cases[] = {
      {"mixed.syx", {0, 1, 2, 3}, "2 patches saved, 2 empty slots skipped.", {0, 2}},
      {"mixed.mid", {0, 1, 2}, "2 patches saved, 1 empty slot skipped.", {0, 2}},
      {"whole.syx", {0, 2, 5}, "Ready.", {0, 2, 5}},  // nothing skipped: no status, as before
      {"whole.mid", {0, 2, 5}, "3 patches saved.", {0, 2, 5}},
      {"old.syx", {1, 3, 4}, "0 patches saved, 3 empty slots skipped.", {}},
      {"new.mid", {1, 3}, "0 patches saved, 2 empty slots skipped.", {}},
  };
  const std::string placeholder = slotText(0, 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(run(CommandId::SaveSelected, c.file, c.selection), c.status);
    std::string expected = c.file[0] == 'o' ? "old" : "";
    for (const int slot : c.saved) expected += slotText(0, slot);
    EXPECT_EQ(patchesIn(c.file), expected);
    EXPECT_EQ(std::filesystem::exists(path(c.file)), !c.saved.empty() || c.file[0] == 'o');
  }
  EXPECT_EQ(slotText(0, 1), placeholder) << "a skipped slot is not renumbered";
}

}  // namespace
}  // namespace banklore::testing
