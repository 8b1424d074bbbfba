// Unsaved changes: what marks a bank changed, what a save clears, the question before closing or
// changing the instrument, and the recovery files of a run ended without asking.
#include <filesystem>

#include "app/support/app_fixture.h"
#include "midi/loopback_backend.h"
#include "platform/profile.h"

namespace banklore::testing {
namespace {

using enum CommandId;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kOut = "SynthOut";
constexpr const char* kIn = "SynthIn";

// A valid patch message of the test definition naming `slot` (device byte 13, checksum 0).
Bytes patchMessage(int slot, const std::string& name) {
  Bytes message = {0xF0, 0x7D, 13, 0x10, std::uint8_t(slot / 16), std::uint8_t(slot % 16)};
  const std::string padded = (name + "        ").substr(0, 8);
  message.insert(message.end(), padded.begin(), padded.end());
  for (int i = 0; i < 11; ++i) message.push_back(std::uint8_t((slot * 3 + i) & 0x7F));
  message.push_back(0);
  message.push_back(0xF7);
  return message;
}

std::string text(const Bytes& bytes) {
  return {bytes.begin(), bytes.end()};
}

class UnsavedChangesTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    loopback::addPort(kOut, LoopbackDirection::OutputOnly);
    loopback::addPort(kIn, LoopbackDirection::InputOnly);
    startHere();
  }
  // A fresh start on the test definition; recovery files only where a test leaves them.
  void startHere() {
    startOnTestDefinition("", "MidiIN=SynthIn\nMidiOUT=SynthOut\nRequestDelay=0\n");
  }
  void restartFresh() {
    window_.reset();
    for (const char* file : {"banklore_recovery_1.syx", "banklore_recovery_2.syx"})
      std::filesystem::remove(path(file));
    view_ = FakeView{};
    prompts_ = FakePrompts{};
    startHere();
  }
  std::pair<bool, bool> changed() const {
    return {window_->hasUnsavedChanges(0), window_->hasUnsavedChanges(1)};
  }
  void select(int bank, std::vector<int> slots) {
    window_->setActiveBank(bank);
    view_.banks[bank].selection = std::move(slots);
  }
  // Bank 0 slots 3 and 7 loaded from a file.
  void loadTwo() {
    writeFile("two.syx", text(patchMessage(3, "three")) + text(patchMessage(7, "seven")));
    select(0, {});
    prompts_.files.push_back(path("two.syx"));
    window_->onCommand(Load);
    ASSERT_EQ(changed(), std::make_pair(true, false));
  }
  void save(int bank, std::vector<int> slots, const std::string& file) {
    select(bank, std::move(slots));
    if (exists(file)) prompts_.yesNo.push_back(true);  // replace it
    prompts_.files.push_back(path(file));
    window_->onCommand(SaveSelected);
  }
  void answerRequest(const Bytes& answer) {
    ASSERT_TRUE(loopback::inject(kIn, answer));
    do ASSERT_TRUE(loopback::waitUntilIdle());
    while (clock_.runPosted() > 0);
  }
  std::string bankBytes(int bank) const {
    std::string all;
    for (const Patch& patch : window_->bank(bank).slots)
      all.append(patch.bytes().begin(), patch.bytes().end());
    return all;
  }
  bool exists(const std::string& file) const { return std::filesystem::exists(path(file)); }
  int logCount(const std::string& line) const {
    const std::string log = readFile("banklore_Debug.txt");
    int count = 0;
    for (auto at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++count;
    return count;
  }
};

TEST_F(UnsavedChangesTest, EveryWayOfStoringIntoABankMarksItAndNothingElseDoes) {
  writeFile("one.syx", text(patchMessage(4, "loaded")));
  const struct {
    const char* what;
    std::function<void()> act;
    std::pair<bool, bool> expected;
  } cases[] = {
      {"selection and clipboard only",
       [&] {
         for (CommandId id : {SelectAll, Copy, SelectNone}) window_->onCommand(id);
       },
       {false, false}},
      {"copy to the other bank", [&] { window_->onCommand(CopyToOtherBank); }, {false, true}},
      {"paste",
       [&] {
         window_->onCommand(Copy);
         select(1, {5});
         window_->onCommand(Paste);
       },
       {false, true}},
      {"swap", [&] { window_->onCommand(Swap); }, {true, false}},
      {"down", [&] { window_->onCommand(DownBank0); }, {true, false}},
      {"up at the top moves nothing",
       [&] {
         select(0, {0, 1});
         window_->onCommand(UpBank0);
       },
       {false, false}},
      {"move by a count",
       [&] {
         prompts_.counts.push_back(3);
         window_->onCommand(Move);
       },
       {true, false}},
      {"sort of names already in order", [&] { window_->onCommand(Sort); }, {false, false}},
      {"sort that exchanges",
       [&] {
         select(0, {2, 10});  // "a10" sorts before "a2"
         window_->onCommand(Sort);
       },
       {true, false}},
      {"rename",
       [&] {
         prompts_.names = {std::nullopt, "new"};
         window_->onCommand(Rename);
       },
       {true, false}},
      {"rename cancelled", [&] { window_->onCommand(Rename); }, {false, false}},
      {"load",
       [&] {
         prompts_.files.push_back(path("one.syx"));
         window_->onCommand(Load);
       },
       {true, false}},
      {"load into the selection",
       [&] {
         prompts_.files.push_back(path("one.syx"));
         window_->onCommand(LoadToSelected);
       },
       {true, false}},
      {"load of a missing file",
       [&] {
         prompts_.files.push_back(path("gone.syx"));
         window_->onCommand(Load);
       },
       {false, false}},
      {"drop", [&] { window_->onFilesDropped(1, {path("one.syx")}); }, {false, true}},
      {"patch arriving by request",
       [&] {
         select(1, {2});
         window_->onCommand(RequestSelected);
         answerRequest(patchMessage(2, "fetched"));
       },
       {false, true}},
      {"damaged answer to a request",
       [&] {
         select(1, {2});
         window_->onCommand(RequestSelected);
         answerRequest({0xF0, 0x7D, 0xF7});
       },
       {false, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    restartFresh();
    select(0, {1, 2});
    c.act();
    EXPECT_EQ(changed(), c.expected);
  }
}

TEST_F(UnsavedChangesTest, ASaveClearsTheSlotsItCoveredOnlyWhenItSucceeds) {
  std::filesystem::create_directory(path("folder.syx"));  // no file can replace a folder
  std::vector<int> all(32);
  for (int i = 0; i < 32; ++i) all[static_cast<std::size_t>(i)] = i;
  using Saves = std::vector<std::pair<std::vector<int>, const char*>>;  // selection, file
  const struct {
    const char* what;
    int bank;
    Saves saves;
    bool emptySlot7First;
    bool stillChanged;
  } cases[] = {
      {"one of the two changed slots", 0, Saves{{{3}, "a.syx"}}, false, true},
      {"both changed slots", 0, Saves{{{3, 7}, "a.syx"}}, false, false},
      {"each in a file of its own", 0, Saves{{{3}, "a.syx"}, {{7}, "b.mid"}}, false, false},
      {"the whole bank as .mid", 0, Saves{{all, "a.mid"}}, false, false},
      // The file holds the emptied slot as absent, as a load into the bank leaves it.
      {"a changed slot emptied since", 0, Saves{{{3, 7}, "a.syx"}}, true, false},
      {"the other bank", 1, Saves{{{3, 7}, "a.syx"}}, false, true},
      {"a save that fails", 0, Saves{{{3, 7}, "folder.syx"}}, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    restartFresh();
    loadTwo();
    if (c.emptySlot7First) window_->StoreToSlot(0, 7, Patch(window_->definition()), false);
    for (const auto& [selection, file] : c.saves) save(c.bank, selection, file);
    EXPECT_EQ(window_->hasUnsavedChanges(0), c.stillChanged);
    EXPECT_FALSE(window_->hasUnsavedChanges(1));
  }
}

TEST_F(UnsavedChangesTest, ClosingAsksOnceForBothBanksAndNoKeepsTheWindowAsItWas) {
  const struct {
    const char* what;
    bool bank0, bank1;
    std::optional<bool> answer;
    const char* question;  // none: not asked
  } cases[] = {
      {"nothing changed", false, false, std::nullopt, nullptr},
      {"bank 1, No", true, false, false, "Bank 1 has unsaved changes. Discard them?"},
      {"bank 2, Yes", false, true, true, "Bank 2 has unsaved changes. Discard them?"},
      {"both, No", true, true, false, "Bank 1 and Bank 2 have unsaved changes. Discard them?"},
      {"both, Yes", true, true, true, "Bank 1 and Bank 2 have unsaved changes. Discard them?"},
  };
  Patch patch(window_->definition());
  for (const bool byQuit : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (byQuit ? " by Quit" : " by close"));
      restartFresh();
      if (c.bank0) window_->StoreToSlot(0, 4, patch, true);
      if (c.bank1) window_->StoreToSlot(1, 9, patch, true);
      startRequestIn(1);
      if (c.answer) prompts_.yesNo.push_back(*c.answer);
      byQuit ? window_->onCommand(Quit) : window_->close();
      EXPECT_EQ(prompts_.questions, c.question ? S{c.question} : S{});
      const bool closes = c.answer.value_or(true);
      EXPECT_EQ(window_->closed(), closes);
      EXPECT_EQ(view_.endRuns, closes ? 1 : 0);
      EXPECT_EQ(logCount("Closing dialog..."), closes ? 1 : 0);
      // The request ended before the question: nothing arrives behind it.
      EXPECT_FALSE(window_->request().requestActive);
      EXPECT_EQ(changed(), std::make_pair(c.bank0, c.bank1)) << "a No changes nothing";
      if (closes) {
        window_.reset();
        EXPECT_FALSE(exists("banklore_recovery_1.syx") || exists("banklore_recovery_2.syx"))
            << "discarded means discarded";
      }
    }
  }
}

TEST_F(UnsavedChangesTest, ChangeInstrumentAsksBeforeTheChooserAndPreselectsTheRunningOne) {
  writeFile("banklore.idf", readFile("banklore.idf") + "[Small]\nNumTotalPatches=5\n");
  bool chosen = false;
  prompts_.onChoose = [&](const std::string&, const std::string& ini) {
    return chosen && writeText(ini, "General", "Instrument", "Small");
  };

  window_->onCommand(ChangeInstrument);  // nothing changed: straight to the chooser
  EXPECT_EQ(prompts_.questions, S{});
  EXPECT_EQ(prompts_.runningShown, S{"Test"});

  loadTwo();
  prompts_.yesNo = {false};
  window_->onCommand(ChangeInstrument);
  EXPECT_EQ(prompts_.questions, S{"Bank 1 has unsaved changes. Discard them?"});
  EXPECT_EQ(prompts_.runningShown.size(), 1u) << "No: no chooser";
  EXPECT_EQ(slotName(0, 3), "three");

  prompts_.yesNo = {true};  // Yes, then Cancel in the chooser: the banks stay, still unsaved
  window_->onCommand(ChangeInstrument);
  EXPECT_EQ(prompts_.runningShown.size(), 2u);
  EXPECT_EQ(changed(), std::make_pair(true, false));

  chosen = true;
  prompts_.yesNo = {true};
  window_->onCommand(ChangeInstrument);
  EXPECT_EQ(window_->definition().InstrumentName(), "Small");
  EXPECT_EQ(changed(), std::make_pair(false, false));
  window_->onCommand(ChangeInstrument);  // the new banks hold nothing unsaved
  EXPECT_EQ(prompts_.questions.size(), 3u);
  EXPECT_EQ(prompts_.runningShown.back(), "Small");
}

TEST_F(UnsavedChangesTest, AnEndWithoutAskingKeepsChangedBanksInPlaceForTheNextStart) {
  loadTwo();
  // A patch that names another slot than the one it sits in (as from an instrument whose patches
  // carry no slot number) still goes back where it was.
  ASSERT_TRUE(window_->bank(0).slots[5].loadBytes(patchMessage(9, "elsewhr")));
  const std::string before = bankBytes(0);
  window_->closeUnattended();
  EXPECT_TRUE(prompts_.questions.empty());
  EXPECT_EQ(view_.endRuns, 1);
  EXPECT_EQ(readFile("banklore_recovery_1.syx"), before) << "every slot, in slot order";
  EXPECT_FALSE(exists("banklore_recovery_2.syx")) << "bank 2 held nothing unsaved";
  EXPECT_EQ(logCount("Unsaved changes of Bank 1 kept in " + path("banklore_recovery_1.syx") +
                     "\nClosing dialog...\n"),
            1);
  window_->close();  // already closed: nothing more
  EXPECT_EQ(logCount("Closing dialog..."), 1);

  for (const bool loadBack : {true, false}) {
    SCOPED_TRACE(loadBack);
    if (!loadBack) writeFile("banklore_recovery_1.syx", before);
    window_.reset();
    prompts_ = FakePrompts{};
    startHere();
    EXPECT_TRUE(prompts_.questions.empty()) << "asked once the window is up";
    prompts_.yesNo = {loadBack};
    EXPECT_EQ(clock_.runPosted(), 1);
    EXPECT_EQ(prompts_.questions,
              S{"Banklore was ended with unsaved changes in Bank 1. Load them back?"});
    EXPECT_FALSE(exists("banklore_recovery_1.syx")) << "deleted whatever the answer";
    EXPECT_EQ(bankBytes(0) == before, loadBack);
    EXPECT_EQ(changed(), std::make_pair(loadBack, false)) << "loaded back, still unsaved";
    EXPECT_EQ(slotName(0, 3), loadBack ? "three" : "a3");
  }
  window_.reset();  // nothing unsaved at the end: no file, no offer
  prompts_ = FakePrompts{};
  startHere();
  EXPECT_EQ(clock_.runPosted(), 0);
}

TEST_F(UnsavedChangesTest, ARecoveryFileThatDoesNotFitIsKeptAndTheOtherStillLoads) {
  Patch patch(window_->definition());
  window_->StoreToSlot(0, 2, patch, false);
  window_->StoreToSlot(1, 3, patch, false);
  const std::string bank2 = bankBytes(1);
  window_->closeUnattended();
  writeFile("banklore_recovery_1.syx", "short");
  window_.reset();
  prompts_ = FakePrompts{};
  startHere();
  prompts_.yesNo = {true};
  clock_.runPosted();
  EXPECT_EQ(prompts_.questions,
            S{"Banklore was ended with unsaved changes in Bank 1 and Bank 2. Load them back?"});
  EXPECT_EQ(prompts_.messages,
            S{"The unsaved changes of Bank 1 could not be loaded back: it holds 5 bytes, not the "
              "864 of 32 slots of Test. They are kept in " +
              path("banklore_recovery_1.syx") + "."});
  EXPECT_TRUE(exists("banklore_recovery_1.syx"));
  EXPECT_FALSE(exists("banklore_recovery_2.syx"));
  EXPECT_EQ(bankBytes(1), bank2);
  EXPECT_EQ(view_.banks[1].status, "Unsaved changes loaded back.");
  EXPECT_EQ(changed(), std::make_pair(false, true));
}

TEST_F(UnsavedChangesTest, ALogoutWhileAQuestionIsOpenKeepsEverything) {
  // While the question before closing is open.
  loadTwo();
  prompts_.whileAsking = [&] { window_->closeUnattended(); };
  prompts_.yesNo = {true};  // the box's answer once the logout has closed the window
  window_->close();
  EXPECT_TRUE(exists("banklore_recovery_1.syx"));
  EXPECT_EQ(view_.endRuns, 1);
  EXPECT_EQ(logCount("Closing dialog..."), 1);

  // While the offer at the next start is open: the file waits for the start after.
  window_.reset();
  prompts_ = FakePrompts{};
  startHere();
  prompts_.whileAsking = [&] { window_->closeUnattended(); };
  prompts_.yesNo = {true};
  clock_.runPosted();
  EXPECT_TRUE(exists("banklore_recovery_1.syx"));
  EXPECT_EQ(slotName(0, 3), "a3");
}

TEST_F(UnsavedChangesTest, ARecoveryFileThatCannotBeWrittenIsLoggedAndTheWindowStillCloses) {
  std::filesystem::create_directory(path("banklore_recovery_1.syx"));
  loadTwo();
  window_->closeUnattended();
  EXPECT_EQ(view_.endRuns, 1);
  EXPECT_EQ(logCount("Couldn't keep the unsaved changes of Bank 1 in " +
                     path("banklore_recovery_1.syx") + "\n"),
            1);
  // Destroyed without closing (the UI ended some other way): the same as an end without asking.
  restartFresh();
  window_->onFilesDropped(1, {path("two.syx")});
  window_.reset();
  EXPECT_TRUE(exists("banklore_recovery_2.syx"));
}

}  // namespace
}  // namespace banklore::testing
