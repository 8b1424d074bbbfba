// The bank-file commands and dropped files, on the test definition, whose headers name bank and
// program, so every packet names its own slot.
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
  // The slot holds a patch placed there: numbered to it, device byte 13, a matching checksum.
  void expectPlaced(int bank, int slot) const {
    const Bytes bytes = slotBytes(bank, slot);
    unsigned sum = 0;
    for (int i = 6; i < 25; ++i) sum += bytes[i];
    EXPECT_EQ(std::vector<int>({bytes[2], bytes[4], bytes[5], bytes[25]}),
              std::vector<int>({13, slot / 16, slot % 16, int(sum & 0x7F)}))
        << "slot " << slot;
  }
};

TEST_F(BankFilesTest, LoadStoresEachPatchInTheSlotItNamesOrInTheSelectedSlots) {
  writeFile("three.syx",
            foreignPatch(4, "first") + foreignPatch(0, "second") + foreignPatch(4, "third"));
  EXPECT_EQ(run(CommandId::Load, "three.syx"), S{"3 patches loaded."});
  const FileDialogRequest& asked = prompts_.dialogs.at(0);
  EXPECT_EQ((S{asked.title, asked.initialFolder, asked.defaultExtension, asked.filters[0].pattern}),
            (S{"Load patches", dir_, "mid", "*.mid"}));
  EXPECT_EQ(names(0, 0, 5), (S{"second", "a1", "a2", "a3", "third"}));
  EXPECT_EQ(view_.banks[0].refreshed, (std::vector<int>{4, 0, 4}));
  EXPECT_EQ(run(CommandId::LoadToSelected, "three.syx", {10, 11}), S{"2 patches loaded."});
  EXPECT_EQ(names(0, 9, 4), (S{"a9", "first", "second", "a12"}));
  for (int slot : {0, 4, 10, 11}) expectPlaced(0, slot);
}

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

TEST_F(BankFilesTest, EachLoadReportsItsOutcomeAndKeepsOtherSlots) {
  writeFile("short.syx", foreignPatch(1, "x") + foreignPatch(2, "y") + "\xF0\x7D\x10");
  writeFile("empty.syx", "");
  putMid("short.mid",
         {foreignPatch(8, "m8"), "\xF0\x7D\xF7", foreignPatch(9, "long") + "\x01\xF7"});
  std::filesystem::create_symlink("/proc/self/mem", path("unreadable.syx"));  // reads fail
  putMid("Bank.MID", {foreignPatch(2, "upper")});
  writeFile("x.txt", "text");
  std::filesystem::create_directory(path("sounds.syx"));
  putMid("sounds.syx/bank.mid", {foreignPatch(3, "inner")});  // read as raw SysEx
  const auto wrong = [](int loaded, int wrong) {
    return "Found " + std::to_string(loaded) + " matching packets, " + std::to_string(wrong) +
           " wrong packets.";
  };
  const std::string before = slotText(0, 0);
  const std::vector<std::pair<const char*, S>> loads = {
      {"short.syx", {wrong(2, 1), "2 patches loaded."}},
      {"empty.syx", {"0 patches loaded."}},
      {"short.mid", {wrong(2, 1), "2 patches loaded."}},
      {"unreadable.syx", {wrong(0, 1), "0 patches loaded."}},
      {"gone.syx", {"Couldn't open file!", "Couldn't load file."}},  // gone after the dialog
      {"Bank.MID", {"1 patches loaded."}},
      {"x.txt", {"1 patches loaded."}},  // not a bank file: nothing, not even a status
      {"sounds.syx/bank.mid", {wrong(0, 3), "0 patches loaded."}}};
  for (const auto& [file, told] : loads) EXPECT_EQ(run(CommandId::Load, file), told) << file;
  EXPECT_EQ(slotText(0, 0), before);
  EXPECT_EQ(names(0, 1, 3), (S{"x", "upper", "a3"}));
  EXPECT_EQ(names(0, 8, 2), (S{"m8", "long"}));

  // Into the selection: the messages of a .mid take the selected slots in order (a wrong one
  // leaves its slot as it was), and a file gone after the dialog is told.
  const std::vector<std::pair<const char*, S>> intoSelection = {
      {"short.mid", {wrong(2, 1), "2 patches loaded."}},
      {"gone.syx", {"Couldn't open file!", "Couldn't open file."}},
      {"gone.mid", {"Couldn't load file."}}};
  for (const auto& [file, told] : intoSelection)
    EXPECT_EQ(run(CommandId::LoadToSelected, file, {20, 22, 23}), told) << file;
  EXPECT_EQ(names(0, 20, 4), (S{"m8", "a21", "a22", "long"})) << "a wrong one keeps its slot";
  expectPlaced(0, 20);
  expectPlaced(0, 23);
}

// The packet is judged as it came, whichever file it came in: an F7 in the name ends it early,
// any other byte above 7F is a status byte where only data belongs; either damages the packet,
// even though the name would read "?" once stored.
TEST_F(BankFilesTest, APacketIsJudgedTheSameFromARawAndAMidiFile) {
  for (const char bad : {'\xF7', '\xE9'}) {
    const std::string packet = foreignPatch(2, std::string("ab") + bad + "cd");
    writeFile("one.syx", foreignPatch(1, "first") + packet);
    putMid("one.mid", {foreignPatch(1, "first"), packet});
    for (const char* file : {"one.syx", "one.mid"}) {
      EXPECT_EQ(run(CommandId::Load, file),
                (S{"Found 1 matching packets, 1 wrong packets.", "1 patches loaded."}))
          << file << " " << int(bad & 0xFF);
      EXPECT_EQ(slotName(0, 2), "a2");
    }
  }
}

// A .mid cut short loads the whole patches before the damage and says where the damage starts;
// one cut inside its header is no MIDI file at all.
TEST_F(BankFilesTest, AMidiFileCutShortLoadsThePatchesBeforeTheDamage) {
  S messages;  // 29 bytes an event, from offset 22: event i ends at 51 + 29 i
  for (int i = 0; i < 40; ++i) messages.push_back(foreignPatch(i % 32, "m" + std::to_string(i)));
  putMid("whole.mid", messages);
  messages[5][1] = '\x7E';
  putMid("wrong.mid", messages);
  writeFile("long.mid", readFile("whole.mid").substr(0, 22 + 29 * 35 + 10));
  writeFile("wrong-cut.mid", readFile("wrong.mid").substr(0, 22 + 29 * 35 + 10));
  writeFile("header.mid", readFile("whole.mid").substr(0, 10));
  const std::string damaged = "; the file is damaged after byte 1,037.";
  EXPECT_EQ(run(CommandId::Load, "long.mid"),
            (S{"Found 35 matching packets" + damaged, "35 patches loaded."}));
  EXPECT_EQ(run(CommandId::Load, "wrong-cut.mid"),
            (S{"Found 34 matching packets, 1 wrong packets" + damaged, "34 patches loaded."}));
  EXPECT_EQ(run(CommandId::Load, "header.mid"), S{"Couldn't load file."});
  EXPECT_EQ(run(CommandId::LoadToSelected, "long.mid", {20, 21}),
            (S{"Found 2 matching packets" + damaged, "2 patches loaded."}));
  EXPECT_EQ(names(0, 0, 4), (S{"m32", "m33", "m34", "m3"})) << "up to the damage";
  EXPECT_EQ(names(0, 20, 2), (S{"m0", "m1"})) << "into the selection";
}

}  // namespace
}  // namespace banklore::testing
