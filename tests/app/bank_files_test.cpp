// The bank-file commands: dialogs, the six file operations, dropped files and failed saves, on the
// test definition whose headers name bank and program, so every packet names its own slot.
#include "app/bank_files.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/support/app_fixture.h"
#include "files/midi_file.h"
#include "platform/profile.h"

namespace banklore::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using S = std::vector<std::string>;

// A valid message of the test definition naming `slot`, with data bytes that depend on `seed`.
Bytes message(int slot, const std::string& name, int seed = 1) {
  Bytes bytes = {0xF0,
                 0x7D,
                 0x10,
                 0x10,
                 static_cast<std::uint8_t>(slot / 16),
                 static_cast<std::uint8_t>(slot % 16)};
  for (std::size_t i = 0; i < 8; ++i) bytes.push_back(i < name.size() ? name[i] : ' ');
  for (int i = 0; i < 11; ++i) bytes.push_back(static_cast<std::uint8_t>((seed * 7 + i) & 0x7F));
  bytes.push_back(0);  // checksum, recomputed on storing
  bytes.push_back(0xF7);
  return bytes;
}

Bytes join(const std::vector<Bytes>& parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class BankFilesTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    useTestDefinition();
    start();
    nameSlots(0, "a");
    nameSlots(1, "b");
    view_.clearRefreshed();
  }
  void put(const std::string& file, const Bytes& bytes) const {
    writeFile(file, std::string(bytes.begin(), bytes.end()));
  }
  Bytes get(const std::string& file) const {
    const std::string text = readFile(file);
    return Bytes(text.begin(), text.end());
  }
  void putMid(const std::string& file, const std::vector<Bytes>& messages) const {
    MidiFileWriter writer;
    ASSERT_TRUE(writer.Open(path(file), 96));
    for (const Bytes& m : messages) writer.WriteSysEx(m, 0);
    ASSERT_TRUE(writer.Close());
  }
  Bytes slotBytes(int bank, int slot) const {
    const auto bytes = window_->bank(bank).slots[static_cast<std::size_t>(slot)].bytes();
    return Bytes(bytes.begin(), bytes.end());
  }
  void load(const std::string& file, bool intoSelection = false) {
    prompts_.openAnswers.push_back(path(file));
    window_->onCommand(intoSelection ? CommandId::LoadToSelected : CommandId::Load);
  }
  void save(const std::string& file) {
    prompts_.saveAnswers.push_back(path(file));
    window_->onCommand(CommandId::SaveSelected);
  }
  // The dialog of either command: the type list in order, the bank's folder and file, "mid".
  static void expectDialog(const FileDialogRequest& asked, const std::string& title,
                           const Bank& bank) {
    EXPECT_EQ(asked.title, title);
    std::vector<std::string> filters;
    for (const FileFilter& f : asked.filters)
      filters.insert(filters.end(), {f.description, f.pattern});
    EXPECT_EQ(filters, (S{"Midi Files (*.mid)", "*.mid", "SYX Files (*.syx)", "*.syx",
                          "All Files (*.*)", "*.*"}));
    EXPECT_EQ(asked.initialFolder, bank.lastPath);
    EXPECT_EQ(asked.initialFile, bank.lastFile);
    EXPECT_EQ(asked.defaultExtension, "mid");
  }
  bool logHas(const std::string& line) const {
    return readFile("banklore_Debug.txt").find(line) != std::string::npos;
  }
};

TEST(BankFileNames, FormatComesFromTheLowerCasedPathSyxFirst) {
  const std::vector<std::pair<std::string, BankFileKind>> cases = {
      {"/a/bank.syx", BankFileKind::Syx},     {"/a/BANK.SYX", BankFileKind::Syx},
      {"/a/bank.MID", BankFileKind::Mid},     {"/a/x.txt", BankFileKind::None},
      {"/s.syx/bank.mid", BankFileKind::Syx}, {"/m.Mid/x.SyX", BankFileKind::Syx},
      {"/a/bank.mid.bak", BankFileKind::Mid}, {"", BankFileKind::None}};
  for (const auto& [path, kind] : cases) EXPECT_EQ(bankFileKindOf(path), kind) << path;
  EXPECT_EQ(folderOf("/Music/Bank.MID"), "/Music/");
  EXPECT_EQ(folderOf("bank.mid"), "");
}

TEST_F(BankFilesTest, LoadStoresEachPatchInTheSlotItNames) {
  put("three.syx", join({message(4, "first"), message(0, "second"), message(4, "third")}));
  window_->bank(0).lastFile = path("earlier.syx");
  const Bank before = window_->bank(0);
  load("three.syx");
  expectDialog(prompts_.openRequests.at(0), "Load patches", before);

  EXPECT_EQ(slotNames(0, 0, 5), (S{"second", "a1", "a2", "a3", "third"}));
  expectPlaced(0, 0);
  expectPlaced(0, 4);
  EXPECT_EQ(view_.banks[0].refreshed, (std::vector<int>{4, 0, 4}));
  EXPECT_EQ(view_.banks[0].status, "3 patches loaded.");
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_EQ(window_->bank(0).lastFile, path("three.syx"));
  EXPECT_TRUE(logHas("Loading " + path("three.syx") + " into list 0\n"));
}

TEST_F(BankFilesTest, LoadToSelectedSlotsRenumbersIntoThemInOrder) {
  put("three.syx", join({message(4, "first"), message(0, "second"), message(4, "third")}));
  window_->setActiveBank(1);
  view_.select(1, {10, 11});
  load("three.syx", true);
  EXPECT_EQ(slotNames(1, 10, 2), (S{"first", "second"}));
  expectPlaced(1, 10);
  expectPlaced(1, 11);
  EXPECT_EQ(slotNames(1, 0, 1), S{"b0"});
  EXPECT_EQ(slotName(1, 4), "b4");
  EXPECT_EQ(view_.banks[1].status, "2 patches loaded.");
  EXPECT_TRUE(logHas("Loading " + path("three.syx") + " to selected slots from list 1\n"));
}

TEST_F(BankFilesTest, WrongPacketsAreCountedAndNeverStopALoad) {
  Bytes broken = message(6, "broken");
  broken[10] = 0xF7;  // ends the message early
  const Bytes stray = {0xF0, 0x7D, 0x10};
  struct Case {
    const char* what;
    Bytes file;
    bool midi, intoSelection;
    S messages;
    const char* status;
  };
  const std::vector<Case> cases = {
      {"size not a multiple",
       join({message(1, "x"), message(2, "y"), stray}),
       false,
       false,
       {"Found 2 matching packets, 1 wrong packets."},
       "2 patches loaded."},
      {"empty file", {}, false, false, {}, "0 patches loaded."},
      {"broken packet",
       join({message(1, "x"), broken, message(2, "y")}),
       false,
       false,
       {"Found 2 matching packets, 1 wrong packets."},
       "2 patches loaded."},
      {"slot beyond the banks", message(16 * 5 + 3, "far"), false, false, {}, "1 patches loaded."},
      {"surplus beyond selection",
       join({message(1, "x"), message(2, "y"), message(3, "z")}),
       false,
       true,
       {},
       "2 patches loaded."},
      {"short piece after selection",
       join({message(1, "x"), message(2, "y"), stray}),
       false,
       true,
       {"Found 2 matching packets, 1 wrong packets."},
       "2 patches loaded."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    prompts_.messages.clear();
    view_.select(0, {20, 21});
    put("case.syx", c.file);
    load("case.syx", c.intoSelection);
    EXPECT_EQ(prompts_.messages, c.messages);
    EXPECT_EQ(view_.banks[0].status, c.status);
  }

  // MIDI messages: a short one is wrong (and nothing past it is read); a longer one is cut.
  Bytes longer = message(9, "long");
  longer.insert(longer.end(), {0x01, 0x02, 0xF7});
  putMid("mixed.mid", {message(8, "m8"), Bytes{0xF0, 0x7D, 0xF7}, longer, message(5, "m5")});
  prompts_.messages.clear();
  load("mixed.mid");
  EXPECT_EQ(prompts_.messages, S{"Found 3 matching packets, 1 wrong packets."});
  EXPECT_EQ(slotNames(0, 8, 2), (S{"m8", "long"}));
  view_.select(0, {28, 29, 30});
  load("mixed.mid", true);
  EXPECT_EQ(slotNames(0, 28, 3), (S{"m8", "a29", "long"})) << "a wrong message leaves its slot";
  EXPECT_EQ(view_.banks[0].status, "2 patches loaded.");
}

TEST_F(BankFilesTest, FormatFollowsTheLowerCasedNameButTheChosenFileIsOpened) {
  putMid("Bank.MID", {message(2, "upper")});
  putMid("bank.mid", {message(2, "lower")});
  load("Bank.MID");
  EXPECT_EQ(slotName(0, 2), "upper");
  EXPECT_EQ(window_->bank(0).lastFile, path("Bank.MID"));
  EXPECT_EQ(window_->bank(0).lastPath, dir_);
  EXPECT_TRUE(logHas("Loading " + path("Bank.MID") + " from midi into list 0\n"));

  writeFile("x.txt", "text");
  view_.banks[0].status = "before";
  load("x.txt");
  EXPECT_EQ(view_.banks[0].status, "before");
  EXPECT_EQ(window_->bank(0).lastFile, path("x.txt"));

  std::filesystem::create_directory(path("sounds.syx"));
  putMid("sounds.syx/bank.mid", {message(3, "inner")});
  load("sounds.syx/bank.mid");
  EXPECT_TRUE(logHas("Loading " + path("sounds.syx/bank.mid") + " into list 0\n"));
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].rfind("Found 0 matching packets, ", 0), 0u);
  EXPECT_EQ(window_->bank(0).lastPath, path("sounds.syx/"));
}

TEST_F(BankFilesTest, SaveAsMidWritesOneEventASecondApart) {
  view_.select(0, {3, 7});
  const Bank before = window_->bank(0);
  save("Out.mid");
  expectDialog(prompts_.saveRequests.at(0), "Save Selected patches", before);
  const Bytes file = get("Out.mid");
  ASSERT_EQ(file.size(), 22u + 29 + 30 + 4);
  EXPECT_EQ(Bytes(file.begin() + 12, file.begin() + 22),
            (Bytes{0, 96, 'M', 'T', 'r', 'k', 0, 0, 0, 63}));
  EXPECT_EQ(Bytes(file.begin() + 22, file.begin() + 25), (Bytes{0x00, 0xF0, 26}));
  EXPECT_EQ(Bytes(file.begin() + 51, file.begin() + 55), (Bytes{0x81, 0x40, 0xF0, 26}));
  const Bytes slot7 = slotBytes(0, 7);
  EXPECT_EQ(Bytes(file.begin() + 55, file.begin() + 81), Bytes(slot7.begin() + 1, slot7.end()));
  EXPECT_EQ(view_.banks[0].status, "2 patches saved.");
  EXPECT_TRUE(logHas("Saving selected slots from list 0 to midi file " + path("Out.mid") + "\n"));
}

TEST_F(BankFilesTest, SaveAsSyxWritesBarePatchesRenumberedInMemory) {
  window_->bank(0).slots[3].loadBytes(message(9, "moved"));
  ASSERT_EQ(window_->bank(0).slots[3].patchNumber(), 9);
  view_.select(0, {3, 7});
  save("out.syx");
  EXPECT_EQ(window_->bank(0).slots[3].patchNumber(), 3);
  EXPECT_EQ(get("out.syx"), join({slotBytes(0, 3), slotBytes(0, 7)}));
  EXPECT_EQ(view_.banks[0].status, "Ready.") << "a raw save sets no status";
  EXPECT_TRUE(logHas("Saving selected slots from list 0 to file " + path("out.syx") + "\n"));
}

TEST_F(BankFilesTest, CancelOrNoChangesNothing) {
  window_->bank(0).lastPath = "/music/";
  window_->bank(0).lastFile = "/music/old.syx";
  window_->onCommand(CommandId::Load);
  window_->onCommand(CommandId::LoadToSelected);
  window_->onCommand(CommandId::SaveSelected);
  EXPECT_EQ(prompts_.openRequests.size() + prompts_.saveRequests.size(), 3u);
  EXPECT_EQ(window_->bank(0).lastPath, "/music/");
  EXPECT_EQ(window_->bank(0).lastFile, "/music/old.syx");

  view_.select(0, {});
  window_->onCommand(CommandId::LoadToSelected);
  window_->onCommand(CommandId::SaveSelected);
  EXPECT_EQ(prompts_.openRequests.size() + prompts_.saveRequests.size(), 3u)
      << "k = 0 asks nothing";

  view_.select(0, {1});
  writeFile("Keep.syx", "old");
  prompts_.yesNoAnswers = {false, true};
  save("Keep.syx");
  EXPECT_EQ(prompts_.questions,
            S{"File " + path("Keep.syx") + " already exists. Do you want to overwrite it?"});
  EXPECT_EQ(readFile("Keep.syx"), "old");
  save("Keep.syx");
  EXPECT_EQ(get("Keep.syx"), slotBytes(0, 1));
  EXPECT_TRUE(prompts_.messages.empty());
}

TEST_F(BankFilesTest, SavedBanksLoadBackIdentical) {
  for (int slot = 0; slot < 32; ++slot) {
    Patch patch(window_->definition());
    patch.loadBytes(message(slot, "p" + std::to_string(slot), slot));
    window_->StoreToSlot(0, slot, patch, false);
  }
  std::vector<int> all(32);
  for (int i = 0; i < 32; ++i) all[static_cast<std::size_t>(i)] = i;
  view_.select(0, all);
  save("all.syx");
  save("all.mid");
  for (const char* file : {"all.syx", "all.mid"}) {
    SCOPED_TRACE(file);
    nameSlots(1, "b");
    window_->onFilesDropped(1, {path(file)});
    for (int slot = 0; slot < 32; ++slot) EXPECT_EQ(slotBytes(1, slot), slotBytes(0, slot)) << slot;
    EXPECT_EQ(view_.banks[1].status, "32 patches loaded.");
  }
}

TEST_F(BankFilesTest, DroppedBankFilesLoadIntoTheirBank) {
  put("a.syx", message(2, "dropA"));
  putMid("B.MID", {message(3, "dropB")});
  writeFile("notes.txt", "x");
  window_->request().requestActive = true;
  window_->request().requestBank = 0;
  window_->onFilesDropped(1, {path("a.syx"), path("notes.txt"), path("B.MID")});
  EXPECT_EQ(window_->bank(0).statusText, "Request aborted.");
  EXPECT_EQ(slotNames(1, 2, 2), (S{"dropA", "dropB"}));
  EXPECT_EQ(slotName(0, 2), "a2");
  EXPECT_EQ(window_->bank(1).lastFile, path("B.MID"));
  EXPECT_EQ(window_->bank(1).lastPath, dir_);
  EXPECT_EQ(window_->activeBank(), 0);
  window_->onFilesDropped(2, {path("a.syx")});
  window_->onFilesDropped(-1, {path("a.syx")});

  window_->close();
  const std::string ini = path("banklore.ini");
  EXPECT_EQ(readText(ini, "TestSynth", "LastFile1", "", 300), path("B.MID"));
  EXPECT_EQ(readText(ini, "TestSynth", "LastPath1", "", 300), dir_);
}

TEST_F(BankFilesTest, LoadFailuresLeaveTheBankAsItWas) {
  writeFile("plain.txt", "a regular file, so nothing lies under it");
  std::filesystem::create_directory(path("folder.syx"));
  writeFile("gone.syx", "");
  std::filesystem::remove(path("gone.syx"));  // vanished after the dialog chose it
  writeFile("junk.mid", "MThd garbage");
  // Opens, but every read fails (address 0 is never mapped).
  std::filesystem::create_symlink("/proc/self/mem", path("failing.syx"));
  struct Case {
    const char* file;
    bool intoSelection;
    S messages;
    const char* statusAtMessage;  // the box comes before or after the status
    const char* status;
  };
  const std::vector<Case> cases = {
      {"plain.txt/x.syx", false, {"Couldn't open file!"}, "Ready.", "Couldn't load file."},
      {"gone.syx", false, {"Couldn't open file!"}, "Ready.", "Couldn't load file."},
      {"folder.syx", false, {"Couldn't open file!"}, "Ready.", "Couldn't load file."},
      {"gone.syx", true, {"Couldn't open file!"}, "Couldn't open file.", "Couldn't open file."},
      {"failing.syx",
       false,
       {"Found 0 matching packets, 1 wrong packets."},
       "Ready.",
       "0 patches loaded."},
      {"gone.mid", false, {}, "", "Couldn't load file."},
      {"junk.mid", true, {}, "", "Couldn't load file."},
  };
  const Bytes before = slotBytes(0, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string statusAtMessage;
    prompts_.onMessage = [&](const std::string&) { statusAtMessage = view_.banks[0].status; };
    prompts_.messages.clear();
    window_->SetStatus(0, "Ready.");
    load(c.file, c.intoSelection);
    EXPECT_EQ(prompts_.messages, c.messages);
    if (!c.messages.empty()) {
      EXPECT_EQ(statusAtMessage, c.statusAtMessage);
    }
    EXPECT_EQ(view_.banks[0].status, c.status);
    EXPECT_EQ(slotNames(0, 0, 3), (S{"a0", "a1", "a2"}));
    EXPECT_EQ(slotBytes(0, 0), before);
  }
}

TEST_F(BankFilesTest, FailedSavesKeepTheOldFileAndSaveNothing) {
  writeFile("plain.txt", "x");
  view_.select(0, {0, 1, 2, 3});
  for (const char* file : {"plain.txt/out.syx", "plain.txt/out.mid"}) {
    SCOPED_TRACE(file);
    prompts_.messages.clear();
    view_.banks[0].statusHistory.clear();
    save(file);
    EXPECT_EQ(prompts_.messages, S{"Couldn't create file!"});
    EXPECT_EQ(view_.banks[0].statusHistory, (S{"Couldn't save file.", "0 patches saved."}));
  }

  // A full disk: the file size limit makes every write past 40 bytes fail (EFBIG, the signal
  // ignored), in a child so the limit binds nothing else.
  for (const char* file : {"full.syx", "full.mid"}) {
    SCOPED_TRACE(file);
    writeFile(file, "the old bank, which must survive");
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{40, 40};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      prompts_.messages.clear();
      prompts_.yesNoAnswers = {true};
      save(file);
      const bool reported = prompts_.messages == S{"Couldn't create file!"} &&
                            view_.banks[0].status == "0 patches saved.";
      ::_exit(reported ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "failure not reported";
    EXPECT_EQ(readFile(file), "the old bank, which must survive");
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().filename().string().find("full.syx."), std::string::npos);
    EXPECT_EQ(entry.path().filename().string().find("full.mid."), std::string::npos);
  }
}

TEST(BankFilesRealData, NovaPresetBanksLoadWhole) {
  const std::string file =
      std::string(BANKLORE_REALDATA_DIR) + "/novation_supernova/nova_preset_banks_a_and_b.syx";
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "real data not present: " << file;
  const std::filesystem::path dir =
      std::filesystem::path(BANKLORE_TEST_TMPDIR) / "app" / "BankFilesRealData";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  // Program dumps of 297 bytes: the header names bank (5 = A) and program, the name follows it.
  std::ofstream(dir / "banklore.idf") << "[Nova297]\nSend=f0,00,20,29,01,21,u1,02,t1,s1\n"
                                         "NamePos=0\nBankNames=A,B\n";
  std::ofstream(dir / "banklore.ini") << "[General]\nInstrument=Nova297\n";
  FakeView view;
  FakePrompts prompts;
  ManualClock clock;
  MainWindow window(ProgramPaths{dir.string() + "/", "banklore"},
                    std::make_unique<NoPortsBackend>(), view, prompts, clock);
  window.initWindow();
  ASSERT_EQ(window.definition().PatchSize(), 297);
  window.onFilesDropped(0, {file});
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(view.banks[0].status, "256 patches loaded.");
  EXPECT_EQ(window.name(0, 0), "Sintillator M-Wh");
}

}  // namespace
}  // namespace banklore::testing
