// The bank-file commands and dropped files, on the test definition, whose headers name bank and
// program, so every packet names its own slot.
#include <sys/stat.h>

#include "app/support/app_fixture.h"
#include "files/midi_file.h"

namespace banklore::testing {
namespace {

class BankFilesTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    startOnTestDefinition();
  }
  void putMid(const std::string& file, const S& messages) const {
    MidiFileWriter writer;
    ASSERT_TRUE(writer.Open(path(file), 96));
    for (const std::string& m : messages)
      writer.WriteSysEx({reinterpret_cast<const std::uint8_t*>(m.data()), m.size()}, 0);
    ASSERT_TRUE(writer.Close());
  }
  // Runs Load (into the selection or not) or Save Selected on `file`; returns the boxes and the
  // status line of bank 0.
  S run(CommandId id, const std::string& file, std::vector<int> selection = {}) {
    prompts_.messages.clear();
    view_.banks[0].selection = selection;
    prompts_.files.push_back(path(file));
    window_->onCommand(id);
    S told = prompts_.messages;
    told.push_back(view_.banks[0].status);
    return told;
  }
};

TEST_F(BankFilesTest, SavedSlotsAreRenumberedInMemoryAndLoadBackIdentical) {
  writeFile("in.syx", foreignPatch(3, "p3", 3) + foreignPatch(7, "p7", 7));
  run(CommandId::Load, "in.syx");
  window_->bank(0).slots[3].placeInSlot(9);
  EXPECT_EQ(run(CommandId::SaveSelected, "out.syx", {3, 7}), S{"2 patches loaded."})
      << "a raw save sets no status";
  EXPECT_EQ(window_->bank(0).slots[3].patchNumber(), 3);
  EXPECT_EQ(readFile("out.syx"), slotText(0, 3) + slotText(0, 7));
  // One SysEx event a second (192 ticks at 96 per quarter) after the other.
  EXPECT_EQ(run(CommandId::SaveSelected, "Out.mid", {3, 7}), S{"2 patches saved."});
  EXPECT_EQ(readFile("Out.mid"),
            std::string("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\x3F\0\xF0\x1A", 25) +
                slotText(0, 3).substr(1) + std::string("\x81\x40\xF0\x1A") +
                slotText(0, 7).substr(1) + std::string("\0\xFF\x2F\0", 4));
  // Dropped onto the other list, which ends a request and skips what is not a bank file.
  writeFile("notes.txt", "x");
  for (const char* saved : {"out.syx", "Out.mid"}) {
    SCOPED_TRACE(saved);
    for (Patch& patch : window_->bank(1).slots) patch.setName("reset");
    startRequestIn(0);
    window_->onFilesDropped(1, {path(saved), path("notes.txt")});
    EXPECT_EQ(window_->bank(0).statusText + window_->bank(1).lastFile,
              "Request aborted." + path(saved));
    for (int slot : {3, 7}) EXPECT_EQ(slotText(1, slot), slotText(0, slot));
  }
}

TEST_F(BankFilesTest, CancelOrNoChangesNothing) {
  window_->bank(0).lastFile = "/music/old.syx";
  for (CommandId id : {CommandId::Load, CommandId::LoadToSelected, CommandId::SaveSelected})
    window_->onCommand(id);
  EXPECT_EQ(std::pair(prompts_.dialogs.size(), window_->bank(0).lastFile),
            std::pair(3ul, std::string("/music/old.syx")));
  EXPECT_EQ(prompts_.dialogs.at(0).initialFolder, dir_);
  fill({1});
  writeFile("Keep.syx", "old");
  prompts_.yesNo = {false, true};
  run(CommandId::SaveSelected, "Keep.syx", {1});
  EXPECT_EQ(prompts_.questions,
            S{"File " + path("Keep.syx") + " already exists. Do you want to overwrite it?"});
  EXPECT_EQ(readFile("Keep.syx"), "old");
  run(CommandId::SaveSelected, "Keep.syx", {1});
  EXPECT_EQ(readFile("Keep.syx"), slotText(0, 1));
}

// What a load tells of files it cannot read as a whole (what it makes of any content is the
// bank-load fuzzer's): gone after the dialog, unreadable, a FIFO (which must not block the load),
// not a bank file, cut short.
TEST_F(BankFilesTest, LoadsTellWhatBecameOfFilesTheyCouldNotReadWhole) {
  std::filesystem::create_symlink("/proc/self/mem", path("unreadable.syx"));  // reads fail
  for (const char* fifo : {"fifo.syx", "fifo.mid"}) ASSERT_EQ(::mkfifo(path(fifo).c_str(), 0600), 0);
  putMid("Bank.MID", {foreignPatch(2, "upper")});
  writeFile("x.txt", "text");
  S messages;  // 29 bytes an event, from offset 22: event i ends at 51 + 29 i
  for (int i = 0; i < 40; ++i) messages.push_back(foreignPatch(i % 32, "m" + std::to_string(i)));
  putMid("whole.mid", messages);
  writeFile("long.mid", readFile("whole.mid").substr(0, 22 + 29 * 35 + 10));
  writeFile("header.mid", readFile("whole.mid").substr(0, 10));
  const std::string damaged = " matching packets; the file is damaged after byte 1,037.";
  const std::vector<std::tuple<CommandId, const char*, S>> loads = {
      {CommandId::Load,
       "unreadable.syx",
       {"Found 0 matching packets, 1 wrong packets.", "0 patches loaded."}},
      {CommandId::Load, "gone.syx", {"Couldn't open file!", "Couldn't load file."}},
      {CommandId::LoadToSelected, "gone.syx", {"Couldn't open file!", "Couldn't open file."}},
      {CommandId::LoadToSelected, "gone.mid", {"Couldn't load file."}},
      {CommandId::Load, "fifo.syx", {"Couldn't open file!", "Couldn't load file."}},
      {CommandId::LoadToSelected, "fifo.syx", {"Couldn't open file!", "Couldn't open file."}},
      {CommandId::Load, "fifo.mid", {"Couldn't load file."}},
      {CommandId::LoadToSelected, "fifo.mid", {"Couldn't load file."}},
      {CommandId::Load, "Bank.MID", {"1 patches loaded."}},
      {CommandId::Load, "x.txt", {"1 patches loaded."}},  // nothing, not even a status
      {CommandId::Load, "long.mid", {"Found 35" + damaged, "35 patches loaded."}},
      {CommandId::LoadToSelected, "long.mid", {"Found 2" + damaged, "2 patches loaded."}},
      {CommandId::Load, "header.mid", {"Couldn't load file."}}};
  for (const auto& [id, file, told] : loads) EXPECT_EQ(run(id, file, {20, 21}), told) << file;
  EXPECT_TRUE(std::filesystem::is_fifo(path("fifo.mid")));
}

}  // namespace
}  // namespace banklore::testing
