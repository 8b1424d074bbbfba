// What changes a bank: every action either marks the bank unsaved and is one undo step that comes
// back byte for byte and goes forward again, or does neither. Then the history on its own, what a
// save clears, the question before closing or changing the instrument, and the recovery files of a
// run ended without asking.
#include <filesystem>
#include <map>
#include <numeric>

#include "app/support/app_fixture.h"
#include "midi/loopback_backend.h"
#include "platform/profile.h"

namespace banklore::testing {
namespace {

using enum CommandId;

UndoHistory::SlotState state(const Bytes& bytes) {
  return {bytes, false};
}

TEST(UndoHistoryTest, KeepsTheNewestStepsWithinItsBoundsAndNoneWhenOneCannotFit) {
  const std::size_t small = UndoStep{"Paste", {SlotChange{0, 0, Bytes(100), Bytes(100)}}}.bytes();
  const struct {
    std::size_t maxSteps, maxBytes;
    int steps;
    std::size_t kept;
  } cases[] = {{100, std::size_t{64} << 20, 150, 100},  // by count
               {1000, 10 * small, 25, 10},              // by bytes
               {1000, 10 * small, 10, 10},              // exactly full
               {1000, small - 1, 3, 0}};                // a step bigger than all there is
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kept);
    UndoHistory history(c.maxSteps, c.maxBytes);
    Bytes slot;
    for (int i = 0; i < c.steps; ++i) {
      history.begin("Paste");
      history.noteBefore(0, 0, state(Bytes(100, 1)));
      slot = Bytes(100, std::uint8_t(i + 2));
      history.end([&](int, int) { return state(slot); });
    }
    EXPECT_EQ(history.undoCount(), c.kept);
    EXPECT_LE(history.bytes(), c.maxBytes);
    if (c.kept == 0) continue;
    EXPECT_EQ(history.nextUndo()->changes[0].after[0], c.steps + 1) << "the newest is kept";
    for (std::size_t i = 1; i < c.kept; ++i) history.markUndone();
    EXPECT_EQ(history.nextUndo()->changes[0].after[0], c.steps + 2 - int(c.kept))
        << "the oldest went first";
  }
}

// The window on the test definition, every slot holding a patch of its own, with an instrument on
// the in-process ports for requests.
class UnsavedChangesTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    loopback::addPort("Out", LoopbackDirection::OutputOnly);
    loopback::addPort("In", LoopbackDirection::InputOnly);
    restart();
  }
  // A new start, after the window before has gone its way.
  void restart(bool keepRecoveryFiles = true) {
    window_.reset();
    for (int b = 0; b < 2 && !keepRecoveryFiles; ++b) std::filesystem::remove(recovery(b));
    view_ = FakeView{};
    prompts_ = FakePrompts{};
    startOnTestDefinition("", "MidiIN=In\nMidiOUT=Out\nRequestDelay=0\n");
    for (int b = 0; b < 2; ++b) {
      for (int i = 0; i < window_->slotCount(); ++i)
        window_->bank(b).slots[i].loadBytes(patchMessage(i, "ab"[b] + std::to_string(i), b));
    }
  }
  std::string recovery(int bank) const {
    return path("banklore_recovery_" + std::to_string(bank + 1) + ".syx");
  }
  // A command whose file dialog, if any, answers `file`.
  void command(CommandId id, const std::string& file = "") {
    if (!file.empty()) prompts_.files.push_back(path(file));
    if (id == SaveSelected && std::filesystem::exists(path(file))) prompts_.yesNo.push_back(true);
    window_->onCommand(id);
  }
  void loadTwo() {  // slots 3 and 7 of bank 0
    writeFile("two.syx", text(patchMessage(3, "three")) + text(patchMessage(7, "seven")));
    select(0, {});
    command(Load, "two.syx");
  }
  void answer(const Bytes& message) { play("In", message); }
  std::string bankBytes(int bank) const {
    std::string all;
    for (int i = 0; i < window_->slotCount(); ++i) all += slotText(bank, i);
    return all;
  }
  std::string menuText(CommandId id) {
    for (const EditMenuEntry& entry : window_->editMenu()) {
      if (entry.id == id) return (entry.enabled ? "" : "(grayed) ") + entry.text;
    }
    return "";
  }
};

TEST_F(UnsavedChangesTest, EveryWayOfStoringIntoABankMarksItAndIsOneStepThatUndoesByteForByte) {
  writeFile("one.syx", text(patchMessage(4, "loaded")));
  writeFile("three.syx", text(patchMessage(4, "four", 2)) + text(patchMessage(9, "nine", 2)) +
                             text(patchMessage(4, "again", 3)));
  const struct {
    const char* what;
    std::vector<int> selected;  // in bank 0, the active bank; bank 1 has slot 5 selected
    std::function<void()> act;
    const char* changed;         // bank 1, bank 2
    const char* step = nullptr;  // as the Edit menu names it; none: no step
  } cases[] = {
      // clang-format off
      {"copy", {1, 2}, [&] { command(SelectAll), command(Copy), command(SelectNone); }, "00"},
      {"copy to the other bank", {1, 2}, [&] { command(CopyToOtherBank); }, "01", "Copy to Other Bank"},
      {"paste", {1, 2}, [&] { command(Copy), window_->setActiveBank(1), command(Paste); }, "01", "Paste"},
      {"swap", {1, 2}, [&] { command(Swap); }, "10", "Swap"},
      {"down", {1, 2}, [&] { command(DownBank0); }, "10", "Move Down"},
      {"up", {1, 2}, [&] { command(UpBank0); }, "10", "Move Up"},
      {"up at the top", {0, 1}, [&] { command(UpBank0); }, "00"},
      {"move", {1, 2}, [&] { prompts_.counts.push_back(3), command(Move); }, "10", "Move"},
      {"sort already in order", {1, 2}, [&] { command(Sort); }, "00"},
      {"sort that exchanges", {2, 10}, [&] { command(Sort); }, "10", "Sort"},  // "a10" first
      {"rename", {1, 2, 3}, [&] { prompts_.names = {"One", std::nullopt, "Three"}, command(Rename); }, "10", "Rename"},
      {"rename cancelled", {1, 2}, [&] { command(Rename); }, "00"},
      {"load", {}, [&] { command(Load, "three.syx"); }, "10", "Load"},
      {"load into the selection", {0, 20}, [&] { command(LoadToSelected, "three.syx"); }, "10", "Load to Selected Slots"},
      {"load of a missing file", {}, [&] { command(Load, "gone.syx"); }, "00"},
      {"drop", {}, [&] { window_->onFilesDropped(1, {path("one.syx"), path("three.syx")}); }, "01", "Drop"},
      // The stray answer for slot 7 is stored all the same, where it says.
      {"request", {1, 2}, [&] { command(RequestSelected); for (int slot : {1, 7, 2}) answer(patchMessage(slot, "got", 5)); }, "10", "Request"},
      {"damaged answer", {2}, [&] { command(RequestSelected), answer({0xF0, 0xF7}); }, "00"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    restart(false);
    select(0, c.selected);
    view_.banks[1].selection = {5};
    const std::vector<Bytes> before = banks();
    c.act();
    const std::vector<Bytes> after = banks();
    EXPECT_EQ(changed(), c.changed);
    if (!c.step) {
      EXPECT_EQ(window_->undoHistory().undoCount(), 0u);
      // A damaged answer marks the awaited slot's name, which is no change to keep.
      EXPECT_TRUE(after == before || std::string(c.what) == "damaged answer");
      continue;
    }
    EXPECT_EQ(window_->undoHistory().undoCount(), 1u) << "one action, one step";
    EXPECT_EQ(menuText(Undo), std::string("Undo ") + c.step + "\tCtrl+Z");
    const std::size_t sent = loopback::sentMessages("Out").size();
    const std::string& status = view_.banks[c.changed[0] == '1' ? 0 : 1].status;
    window_->onCommand(Undo);
    EXPECT_EQ(std::tuple(banks() == before, changed(), status),
              std::tuple(true, "00", std::string(c.step) + " undone."));
    EXPECT_EQ(menuText(Redo), std::string("Redo ") + c.step + "\tCtrl+Shift+Z");
    window_->onCommand(Redo);
    EXPECT_EQ(std::tuple(banks() == after, changed(), status),
              std::tuple(true, c.changed, std::string(c.step) + " redone."));
    window_->onCommand(Undo);
    EXPECT_EQ(banks(), before);
    EXPECT_EQ(loopback::sentMessages("Out").size(), sent) << "undo says nothing to the synth";
  }
}

TEST_F(UnsavedChangesTest, ARequestIsOneStepFromStartToEndAndUndoAbortsItFirst) {
  std::vector<int> all(32);
  std::iota(all.begin(), all.end(), 0);
  select(1, all);
  const std::vector<Bytes> before = banks();
  window_->onCommand(RequestSelected);
  for (int slot = 0; slot < 12; ++slot) answer(patchMessage(slot, "got", 6));
  EXPECT_EQ(window_->undoHistory().undoCount(), 0u) << "not a step before it ends";
  window_->onCommand(Undo);
  EXPECT_FALSE(window_->request().requestActive);
  EXPECT_EQ(banks(), before) << "the slots that arrived and the one awaited, all at once";
  window_->onCommand(Redo);
  EXPECT_EQ(names(1, 11, 2), (S{"got", "b12"}));
  // When it has changed nothing yet, Undo only ends it, and the step before it stays.
  select(1, {12});
  window_->onCommand(RequestSelected);
  EXPECT_EQ(menuText(Undo) + menuText(Redo), "Undo Request\tCtrl+Z(grayed) Redo\tCtrl+Shift+Z");
  window_->onCommand(Undo);
  EXPECT_EQ(std::tuple(banks() == before, window_->request().requestActive),
            std::tuple(false, false));
  EXPECT_EQ(menuText(Undo), "Undo Request\tCtrl+Z");
}

TEST_F(UnsavedChangesTest, ASaveClearsTheSlotsItCoveredOnlyWhenItSucceedsAndUndoCannotTellSince) {
  std::filesystem::create_directory(path("folder.syx"));  // no file can replace a folder
  std::vector<int> all(32);
  std::iota(all.begin(), all.end(), 0);
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
  // Saved, the bank no longer holds what the file holds once undone; and redone, whether the
  // file holds it is not known.
  restart(false);
  loadTwo();
  select(0, {3, 7}), command(SaveSelected, "c.syx");
  window_->onCommand(Undo);
  EXPECT_EQ(changed(), "10");
  window_->onCommand(Redo);
  EXPECT_EQ(changed(), "10");
}

TEST_F(UnsavedChangesTest, ChangeInstrumentAsksFirstClearsTheHistoryAndASendRefusesUndo) {
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
  EXPECT_EQ(window_->undoHistory().undoCount(), 1u) << "cancelled: the banks stay, so does undo";

  window_->setSendDelay(500);
  select(0, {1, 2});
  window_->sendSelected();
  ASSERT_TRUE(window_->sending());
  EXPECT_EQ(menuText(Undo), "(grayed) Undo Load\tCtrl+Z");
  window_->onCommand(Undo);
  EXPECT_EQ(std::tuple(slotName(0, 3), view_.beeps), std::tuple("three", 1));
  clock_.advance(2000);
  ASSERT_FALSE(window_->sending());

  chosen = true;
  prompts_.yesNo = {true};
  command(ChangeInstrument);
  EXPECT_EQ(menuText(Undo), "(grayed) Undo\tCtrl+Z");
  command(ChangeInstrument);  // the new banks hold nothing unsaved
  EXPECT_EQ(prompts_.questions.size(), 3u);
  EXPECT_EQ(prompts_.runningShown, S({"Test", "Test", "Test", "Small"}));
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
      EXPECT_EQ(std::filesystem::exists(recovery(0)) || std::filesystem::exists(recovery(1)),
                !closes)
          << "discarded means discarded";
    }
  }
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
  EXPECT_FALSE(std::filesystem::exists(recovery(1))) << "bank 2 held nothing unsaved";
  EXPECT_EQ(logCount("Unsaved changes of Bank 1 kept in " + recovery(0) + "\nClosing dialog...\n"),
            1);

  for (const bool loadBack : {true, false}) {
    SCOPED_TRACE(loadBack);
    restart();  // the window before (still changed after Yes) keeps its bank again as it goes
    const std::vector<Bytes> fresh = banks();
    EXPECT_TRUE(prompts_.questions.empty()) << "asked once the window is up";
    prompts_.yesNo = {loadBack};
    EXPECT_EQ(clock_.runPosted(), 1);
    EXPECT_EQ(prompts_.questions,
              S{"Banklore was ended with unsaved changes in Bank 1. Load them back?"});
    EXPECT_FALSE(std::filesystem::exists(recovery(0))) << "deleted whatever the answer";
    EXPECT_EQ(bankBytes(0) == before, loadBack);
    EXPECT_EQ(changed(), loadBack ? "10" : "00") << "loaded back, still unsaved";
    if (!loadBack) continue;
    EXPECT_EQ(menuText(Undo), "Undo Load Back\tCtrl+Z");
    window_->onCommand(Undo);
    EXPECT_EQ(banks(), fresh);
    window_->onCommand(Redo);
  }
  restart();  // nothing unsaved at the end: no file, no offer
  EXPECT_EQ(clock_.runPosted(), 0);
}

}  // namespace
}  // namespace banklore::testing
