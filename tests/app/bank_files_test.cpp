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
  void load(const std::string& file, bool intoSelection = false) {
    prompts_.files.push_back(path(file));
    window_->onCommand(intoSelection ? CommandId::LoadToSelected : CommandId::Load);
  }
  void save(const std::string& file) {
    prompts_.files.push_back(path(file));
    window_->onCommand(CommandId::SaveSelected);
  }
};

TEST_F(BankFilesTest, LoadStoresEachPatchInTheSlotItNamesOrInTheSelectedSlots) {
  writeFile("three.syx",
            foreignPatch(4, "first") + foreignPatch(0, "second") + foreignPatch(4, "third"));
  load("three.syx");
  const FileDialogRequest& asked = prompts_.dialogs.at(0);
  EXPECT_EQ((S{asked.title, asked.initialFolder, asked.defaultExtension, asked.filters[0].pattern}),
            (S{"Load patches", dir_, "mid", "*.mid"}));
  EXPECT_EQ(names(0, 0, 5), (S{"second", "a1", "a2", "a3", "third"}));
  EXPECT_EQ(view_.banks[0].refreshed, (std::vector<int>{4, 0, 4}));
  EXPECT_EQ(view_.banks[0].status, "3 patches loaded.");

  window_->setActiveBank(1);
  view_.banks[1].selection = {10, 11};
  load("three.syx", true);
  EXPECT_EQ(names(1, 9, 4), (S{"b9", "first", "second", "b12"}));
  EXPECT_EQ(view_.banks[1].status, "2 patches loaded.");
  for (int slot : {0, 4}) expectPlaced(0, slot);
  for (int slot : {10, 11}) expectPlaced(1, slot);
  EXPECT_TRUE(prompts_.messages.empty());
}

TEST_F(BankFilesTest, SavedSlotsAreRenumberedInMemoryAndLoadBackIdentical) {
  writeFile("in.syx", foreignPatch(3, "p3", 3) + foreignPatch(7, "p7", 7));
  load("in.syx");
  window_->bank(0).slots[3].placeInSlot(9);
  view_.banks[0].selection = {3, 7};
  save("out.syx");
  EXPECT_EQ(window_->bank(0).slots[3].patchNumber(), 3);
  EXPECT_EQ(readFile("out.syx"), slotText(0, 3) + slotText(0, 7));
  EXPECT_EQ(view_.banks[0].status, "2 patches loaded.") << "a raw save sets no status";

  save("Out.mid");  // one SysEx event a second (192 ticks at 96 per quarter) after the other
  EXPECT_EQ(view_.banks[0].status, "2 patches saved.");
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
    EXPECT_EQ(window_->bank(0).statusText, "Request aborted.");
    EXPECT_EQ(window_->bank(1).lastFile, path(saved));
    for (int slot : {3, 7}) EXPECT_EQ(slotText(1, slot), slotText(0, slot));
  }
}

TEST_F(BankFilesTest, CancelOrNoChangesNothing) {
  window_->bank(0).lastFile = "/music/old.syx";
  for (CommandId id : {CommandId::Load, CommandId::LoadToSelected, CommandId::SaveSelected})
    window_->onCommand(id);
  EXPECT_EQ(prompts_.dialogs.size(), 3u);
  EXPECT_EQ(window_->bank(0).lastFile, "/music/old.syx");

  view_.banks[0].selection = {1};
  fill({1});
  writeFile("Keep.syx", "old");
  prompts_.yesNo = {false, true};
  save("Keep.syx");
  EXPECT_EQ(prompts_.questions,
            S{"File " + path("Keep.syx") + " already exists. Do you want to overwrite it?"});
  EXPECT_EQ(readFile("Keep.syx"), "old");
  save("Keep.syx");
  EXPECT_EQ(readFile("Keep.syx"), slotText(0, 1));
}

TEST_F(BankFilesTest, EachLoadReportsItsOutcomeAndKeepsOtherSlots) {
  writeFile("short.syx", foreignPatch(1, "x") + foreignPatch(2, "y") + "\xF0\x7D\x10");
  writeFile("empty.syx", "");
  putMid("short.mid",
         {foreignPatch(8, "m8"), "\xF0\x7D\xF7", foreignPatch(9, "long") + "\x01\xF7"});
  std::filesystem::create_symlink("/proc/self/mem", path("unreadable.syx"));  // reads fail
  putMid("Bank.MID", {foreignPatch(2, "upper")});
  putMid("bank.mid", {foreignPatch(2, "lower")});
  writeFile("x.txt", "text");
  std::filesystem::create_directory(path("sounds.syx"));
  putMid("sounds.syx/bank.mid", {foreignPatch(3, "inner")});  // read as raw SysEx
  const auto wrong = [](int loaded, int wrong) {
    return S{"Found " + std::to_string(loaded) + " matching packets, " + std::to_string(wrong) +
             " wrong packets."};
  };
  struct Case {
    const char* file;
    S messages;
    const char* status;
  };
  const std::string before = slotText(0, 0);
  for (const Case& c : std::vector<Case>{
           {"short.syx", wrong(2, 1), "2 patches loaded."},
           {"empty.syx", {}, "0 patches loaded."},
           {"short.mid", wrong(2, 1), "2 patches loaded."},
           {"unreadable.syx", wrong(0, 1), "0 patches loaded."},
           {"gone.syx", {"Couldn't open file!"}, "Couldn't load file."},  // gone after the dialog
           {"Bank.MID", {}, "1 patches loaded."},
           {"x.txt", {}, "Ready."},
           {"sounds.syx/bank.mid", wrong(0, 3), "0 patches loaded."}}) {
    SCOPED_TRACE(c.file);
    prompts_.messages.clear();
    window_->SetStatus(0, "Ready.");
    load(c.file);
    EXPECT_EQ(prompts_.messages, c.messages);
    EXPECT_EQ(view_.banks[0].status, c.status);
    EXPECT_EQ(slotText(0, 0), before);
  }
  EXPECT_EQ(names(0, 0, 4), (S{"a0", "x", "upper", "a3"}));
  EXPECT_EQ(names(0, 8, 2), (S{"m8", "long"}));

  // Into the selection: the messages of a .mid take the selected slots in order (a wrong one
  // leaves its slot as it was), and a file gone after the dialog is told.
  view_.banks[0].selection = {20, 22, 23};
  for (const Case& c :
       std::vector<Case>{{"short.mid", wrong(2, 1), "2 patches loaded."},
                         {"gone.syx", {"Couldn't open file!"}, "Couldn't open file."},
                         {"gone.mid", {}, "Couldn't load file."}}) {
    SCOPED_TRACE(std::string(c.file) + " into the selection");
    prompts_.messages.clear();
    load(c.file, true);
    EXPECT_EQ(prompts_.messages, c.messages);
    EXPECT_EQ(view_.banks[0].status, c.status);
  }
  EXPECT_EQ(names(0, 20, 4), (S{"m8", "a21", "a22", "long"})) << "a wrong one keeps its slot";
  expectPlaced(0, 20);
  expectPlaced(0, 23);
}

// The packet is judged as it came, whichever file it came in: an F7 in the name ends it early,
// any other byte above 7F is a status byte where only data belongs; either damages the packet,
// even though the name would read "?" once stored.
TEST_F(BankFilesTest, APacketIsJudgedTheSameFromARawAndAMidiFile) {
  for (const char bad : {'\xF7', '\xE9'}) {
    for (const char* file : {"one.syx", "one.mid"}) {
      SCOPED_TRACE(std::string(file) + " " + std::to_string(bad & 0xFF));
      const std::string packet = foreignPatch(2, std::string("ab") + bad + "cd");
      writeFile("one.syx", foreignPatch(1, "first") + packet);
      putMid("one.mid", {foreignPatch(1, "first"), packet});
      window_->bank(0).slots[2].setName("a2");
      prompts_.messages.clear();
      load(file);
      EXPECT_EQ(prompts_.messages, S{"Found 1 matching packets, 1 wrong packets."});
      EXPECT_EQ(view_.banks[0].status, "1 patches loaded.");
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
  const std::string whole = readFile("whole.mid"), wrong = readFile("wrong.mid");
  writeFile("long.mid", whole.substr(0, 22 + 29 * 35 + 10));
  writeFile("wrong-cut.mid", wrong.substr(0, 22 + 29 * 35 + 10));
  writeFile("header.mid", whole.substr(0, 10));
  struct Case {
    const char* file;
    bool intoSelection;
    S box;
    const char* status;
  };
  for (const Case& c : std::vector<Case>{
           {"long.mid",
            false,
            {"Found 35 matching packets; the file is damaged after byte 1,037."},
            "35 patches loaded."},
           {"wrong-cut.mid",
            false,
            {"Found 34 matching packets, 1 wrong packets; the file is damaged after byte 1,037."},
            "34 patches loaded."},
           {"header.mid", false, {}, "Couldn't load file."},
           {"long.mid",
            true,
            {"Found 2 matching packets; the file is damaged after byte 1,037."},
            "2 patches loaded."}}) {
    SCOPED_TRACE(std::string(c.file) + (c.intoSelection ? " into the selection" : ""));
    prompts_.messages.clear();
    view_.banks[0].selection = {20, 21};
    load(c.file, c.intoSelection);
    EXPECT_EQ(prompts_.messages, c.box);
    EXPECT_EQ(view_.banks[0].status, c.status);
  }
  EXPECT_EQ(names(0, 0, 4), (S{"m32", "m33", "m34", "m3"})) << "up to the damage";
  EXPECT_EQ(names(0, 20, 2), (S{"m0", "m1"})) << "into the selection";
}

}  // namespace
}  // namespace banklore::testing
