// Unsaved changes: what marks a bank changed, what a save clears, the question before closing or
// changing the instrument, and the recovery files of a run ended without asking.
#include <filesystem>

#include "app/support/app_fixture.h"
#include "midi/loopback_backend.h"
#include "platform/profile.h"

namespace banklore::testing {
namespace {

using enum CommandId;

class UnsavedChangesTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    loopback::addPort("Out", LoopbackDirection::OutputOnly);
    loopback::addPort("In", LoopbackDirection::InputOnly);
    restart();
  }
  // A new start on the test definition, after the window before has gone its way.
  void restart(bool keepRecoveryFiles = true) {
    window_.reset();
    if (!keepRecoveryFiles) {
      for (const char* file : {"banklore_recovery_1.syx", "banklore_recovery_2.syx"})
        std::filesystem::remove(path(file));
    }
    view_ = FakeView{};
    prompts_ = FakePrompts{};
    startOnTestDefinition("", "MidiIN=In\nMidiOUT=Out\nRequestDelay=0\n");
  }
  // A command whose file dialog, if any, answers `file` (replacing what is there).
  void command(CommandId id, const std::string& file = "") {
    if (!file.empty()) prompts_.files.push_back(path(file));
    if (id == SaveSelected && exists(file)) prompts_.yesNo.push_back(true);
    window_->onCommand(id);
  }
  void loadTwo() {  // slots 3 and 7 of bank 0
    writeFile("two.syx", text(patchMessage(3, "three")) + text(patchMessage(7, "seven")));
    select(0, {});
    command(Load, "two.syx");
  }
  void answer(const std::string& answer) { play("In", {answer.begin(), answer.end()}); }
  std::string bankBytes(int bank) const {
    std::string all;
    for (const Patch& patch : window_->bank(bank).slots)
      all.append(patch.bytes().begin(), patch.bytes().end());
    return all;
  }
  bool exists(const std::string& file) const { return std::filesystem::exists(path(file)); }
};

TEST_F(UnsavedChangesTest, EveryWayOfStoringIntoABankMarksItAndNothingElseDoes) {
  writeFile("one.syx", text(patchMessage(4, "loaded")));
  const struct {
    const char* what;
    std::vector<int> selected;  // in bank 0, the active bank
    std::function<void()> act;
    const char* changed;  // bank 1, bank 2
  } cases[] = {
      {"copy", {1, 2}, [&] { command(SelectAll), command(Copy), command(SelectNone); }, "00"},
      {"copy to the other bank", {1, 2}, [&] { command(CopyToOtherBank); }, "01"},
      {"paste", {1, 2}, [&] { command(Copy), window_->setActiveBank(1), command(Paste); }, "01"},
      {"swap", {1, 2}, [&] { command(Swap); }, "10"},
      {"down", {1, 2}, [&] { command(DownBank0); }, "10"},
      {"up at the top", {0, 1}, [&] { command(UpBank0); }, "00"},
      {"move", {1, 2}, [&] { prompts_.counts.push_back(3), command(Move); }, "10"},
      {"sort already in order", {1, 2}, [&] { command(Sort); }, "00"},
      {"sort that exchanges", {2, 10}, [&] { command(Sort); }, "10"},  // "a10" before "a2"
      {"rename", {1, 2}, [&] { prompts_.names.resize(2, "new"), command(Rename); }, "10"},
      {"rename cancelled", {1, 2}, [&] { command(Rename); }, "00"},
      {"load", {}, [&] { command(Load, "one.syx"); }, "10"},
      {"load into the selection", {1}, [&] { command(LoadToSelected, "one.syx"); }, "10"},
      {"load of a missing file", {}, [&] { command(Load, "gone.syx"); }, "00"},
      {"drop", {}, [&] { window_->onFilesDropped(1, {path("one.syx")}); }, "01"},
      {"request", {2}, [&] { command(RequestSelected), answer(text(patchMessage(2, "x"))); }, "10"},
      {"damaged answer", {2}, [&] { command(RequestSelected), answer("\xF0\xF7"); }, "00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    restart(false);
    select(0, c.selected);
    view_.banks[1].selection = {5};
    c.act();
    EXPECT_EQ(changed(), c.changed);
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
    const char* changed;
  } cases[] = {
      {"one of the two changed slots", 0, Saves{{{3}, "a.syx"}}, false, "10"},
      {"both changed slots", 0, Saves{{{3, 7}, "a.syx"}}, false, "00"},
      {"each in a file of its own", 0, Saves{{{3}, "a.syx"}, {{7}, "b.mid"}}, false, "00"},
      {"the whole bank as .mid", 0, Saves{{all, "a.mid"}}, false, "00"},
      // The file holds the emptied slot as absent, as a load into the bank leaves it.
      {"a changed slot emptied since", 0, Saves{{{3, 7}, "a.syx"}}, true, "00"},
      {"the other bank", 1, Saves{{{3, 7}, "a.syx"}}, false, "10"},
      {"a save that fails", 0, Saves{{{3, 7}, "folder.syx"}}, false, "10"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    restart(false);
    loadTwo();
    if (c.emptySlot7First) window_->StoreToSlot(0, 7, Patch(window_->definition()), false);
    for (const auto& [selection, file] : c.saves)
      select(c.bank, selection), command(SaveSelected, file);
    EXPECT_EQ(changed(), c.changed);
  }
}

TEST_F(UnsavedChangesTest, ClosingAsksOnceForBothBanksAndNoKeepsTheWindowAsItWas) {
  const struct {
    const char* changed;
    std::optional<bool> answer;
    const char* question;  // none: not asked
  } cases[] = {
      {"00", std::nullopt, nullptr},
      {"10", false, "Bank 1 has unsaved changes. Discard them?"},
      {"01", true, "Bank 2 has unsaved changes. Discard them?"},
      {"11", false, "Bank 1 and Bank 2 have unsaved changes. Discard them?"},
      {"11", true, "Bank 1 and Bank 2 have unsaved changes. Discard them?"},
  };
  for (const bool byQuit : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.changed) + (byQuit ? " by Quit" : " by close"));
      restart(false);
      for (int b = 0; b < 2; ++b) {
        if (c.changed[b] == '1') window_->StoreToSlot(b, 4, Patch(window_->definition()), true);
      }
      startRequestIn(1);
      if (c.answer) prompts_.yesNo.push_back(*c.answer);
      byQuit ? window_->onCommand(Quit) : window_->close();
      EXPECT_EQ(prompts_.questions, c.question ? S{c.question} : S{});
      const bool closes = c.answer.value_or(true);
      EXPECT_EQ(std::vector<int>({window_->closed(), view_.endRuns, logCount("Closing dialog")}),
                std::vector<int>(3, closes));
      EXPECT_FALSE(window_->request().requestActive) << "nothing may arrive behind the question";
      EXPECT_EQ(changed(), c.changed) << "a No changes nothing";
      window_.reset();  // unclosed, as when the UI ends some other way: kept, as by a logout
      EXPECT_EQ(exists("banklore_recovery_1.syx") || exists("banklore_recovery_2.syx"), !closes)
          << "discarded means discarded";
    }
  }
}

TEST_F(UnsavedChangesTest, ChangeInstrumentAsksBeforeTheChooserAndPreselectsTheRunningOne) {
  writeFile("banklore.idf", readFile("banklore.idf") + "[Small]\nNumTotalPatches=5\n");
  bool chosen = false;
  prompts_.onChoose = [&](const std::string&, const std::string& ini) {
    return chosen && writeText(ini, "General", "Instrument", "Small");
  };
  command(ChangeInstrument);  // nothing changed: straight to the chooser
  loadTwo();
  prompts_.yesNo = {false, true};
  command(ChangeInstrument);  // No: no chooser
  command(ChangeInstrument);  // Yes, then Cancel in the chooser: the banks stay, still unsaved
  EXPECT_EQ(prompts_.questions, S(2, "Bank 1 has unsaved changes. Discard them?"));
  EXPECT_EQ(prompts_.runningShown, S(2, "Test"));
  EXPECT_EQ(slotName(0, 3) + changed(), "three10");

  chosen = true;
  prompts_.yesNo = {true};
  command(ChangeInstrument);
  command(ChangeInstrument);  // the new banks hold nothing unsaved
  EXPECT_EQ(prompts_.questions.size(), 3u);
  EXPECT_EQ(prompts_.runningShown, S({"Test", "Test", "Test", "Small"}));
}

TEST_F(UnsavedChangesTest, AnEndWithoutAskingKeepsChangedBanksInPlaceForTheNextStart) {
  loadTwo();
  // A patch naming another slot than its own (as from an instrument whose patches name none)
  // still goes back where it was.
  ASSERT_TRUE(window_->bank(0).slots[5].loadBytes(patchMessage(9, "away")));
  const std::string before = bankBytes(0);
  window_->closeUnattended();
  EXPECT_TRUE(prompts_.questions.empty());
  EXPECT_EQ(view_.endRuns, 1);
  EXPECT_EQ(readFile("banklore_recovery_1.syx"), before) << "every slot, in slot order";
  EXPECT_FALSE(exists("banklore_recovery_2.syx")) << "bank 2 held nothing unsaved";
  EXPECT_EQ(logCount("Unsaved changes of Bank 1 kept in " + path("banklore_recovery_1.syx") +
                     "\nClosing dialog...\n"),
            1);

  for (const bool loadBack : {true, false}) {
    SCOPED_TRACE(loadBack);
    restart();  // the window before (still changed after Yes) keeps its bank again as it goes
    EXPECT_TRUE(prompts_.questions.empty()) << "asked once the window is up";
    prompts_.yesNo = {loadBack};
    EXPECT_EQ(clock_.runPosted(), 1);
    EXPECT_EQ(prompts_.questions,
              S{"Banklore was ended with unsaved changes in Bank 1. Load them back?"});
    EXPECT_FALSE(exists("banklore_recovery_1.syx")) << "deleted whatever the answer";
    EXPECT_EQ(bankBytes(0) == before, loadBack);
    EXPECT_EQ(changed(), loadBack ? "10" : "00") << "loaded back, still unsaved";
  }
  restart();  // nothing unsaved at the end: no file, no offer
  EXPECT_EQ(clock_.runPosted(), 0);
}

TEST_F(UnsavedChangesTest, ARecoveryFileThatDoesNotFitIsKeptAndTheOtherStillLoads) {
  window_->StoreToSlot(0, 2, Patch(window_->definition()), false);
  window_->StoreToSlot(1, 3, Patch(window_->definition()), false);
  const std::string bank2 = bankBytes(1);
  window_->closeUnattended();
  writeFile("banklore_recovery_1.syx", "short");
  restart();
  prompts_.yesNo = {true};
  clock_.runPosted();
  EXPECT_EQ(prompts_.questions,
            S{"Banklore was ended with unsaved changes in Bank 1 and Bank 2. Load them back?"});
  EXPECT_EQ(prompts_.messages, S{"The unsaved changes of Bank 1 could not be loaded back: it holds "
                                 "5 bytes, not the 864 of 32 slots of Test. They are kept in " +
                                 path("banklore_recovery_1.syx") + "."});
  EXPECT_EQ(std::vector<bool>({exists("banklore_recovery_1.syx"), exists("banklore_recovery_2.syx"),
                               bankBytes(1) == bank2}),
            std::vector<bool>({true, false, true}));
  EXPECT_EQ(view_.banks[1].status, "Unsaved changes loaded back.");
}

TEST_F(UnsavedChangesTest, ALogoutWhileAQuestionIsOpenKeepsEverything) {
  for (const bool atStart : {false, true}) {
    SCOPED_TRACE(atStart ? "the offer at start" : "the question before closing");
    if (atStart) restart();
    if (!atStart) loadTwo();
    prompts_.whileAsking = [&] { window_->closeUnattended(); };
    prompts_.yesNo = {true};  // the box's answer once the logout has closed the window
    atStart ? void(clock_.runPosted()) : window_->close();
    EXPECT_TRUE(exists("banklore_recovery_1.syx"));
    EXPECT_EQ(view_.endRuns + logCount("Closing dialog..."), 2);
    EXPECT_EQ(slotName(0, 3), atStart ? "a3" : "three");
  }
}

TEST_F(UnsavedChangesTest, ARecoveryFileThatCannotBeWrittenIsLoggedAndTheWindowStillCloses) {
  std::filesystem::create_directory(path("banklore_recovery_1.syx"));
  loadTwo();
  window_->closeUnattended();
  EXPECT_EQ(view_.endRuns, 1);
  EXPECT_EQ(logCount("Couldn't keep the unsaved changes of Bank 1 in " +
                     path("banklore_recovery_1.syx") + "\n"),
            1);
}

}  // namespace
}  // namespace banklore::testing
