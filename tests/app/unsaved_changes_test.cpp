// What changes a bank: every action either marks the bank unsaved and is one undo step that comes
// back byte for byte and goes forward again, or does neither. Then the history on its own, what a
// save clears, the question before closing or changing the instrument, and the recovery files of a
// run ended without asking.
#include <filesystem>

#include "app/support/app_fixture.h"
#include "midi/loopback_backend.h"
#include "platform/profile.h"

namespace banklore::testing {
namespace {

using enum CommandId;

TEST(UndoHistoryTest, KeepsTheNewestStepsWithinItsBoundsAndNoneWhenOneCannotFit) {
  const std::size_t small = UndoStep{"Paste", {SlotChange{0, 0, Bytes(100), Bytes(100)}}}.bytes();
  // Most steps, most bytes, steps taken, steps kept: by count, by bytes, and a step bigger than all
  // there is.
  const std::tuple<std::size_t, std::size_t, int, std::size_t> cases[] = {
      {100, std::size_t{64} << 20, 150, 100}, {1000, 10 * small, 25, 10}, {1000, small - 1, 3, 0}};
  for (const auto& [maxSteps, maxBytes, steps, kept] : cases) {
    UndoHistory history(maxSteps, maxBytes);
    Bytes slot;
    for (int i = 0; i < steps; ++i) {
      history.begin("Paste");
      history.noteBefore(0, 0, {Bytes(100, 1), false});
      slot = Bytes(100, std::uint8_t(i + 2));
      history.end([&](int, int) { return UndoHistory::SlotState{slot, false}; });
    }
    EXPECT_EQ(history.undoCount(), kept) << maxBytes;
    EXPECT_LE(history.bytes(), maxBytes);
    if (kept == 0) continue;
    EXPECT_EQ(history.nextUndo()->changes[0].after[0], steps + 1) << "the newest is kept";
    for (std::size_t i = 1; i < kept; ++i) history.markUndone();
    EXPECT_EQ(history.nextUndo()->changes[0].after[0], steps + 2 - int(kept)) << "oldest first";
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
    EXPECT_EQ(window_->undoHistory().undoCount(), c.step ? 1u : 0u) << "one action, one step";
    // A damaged answer marks the awaited slot's name, which is no change to keep.
    if (!c.step) {
      EXPECT_TRUE(after == before || std::string(c.what) == "damaged answer");
      continue;
    }
    const std::size_t sent = loopback::sentMessages("Out").size();
    const std::string& status = view_.banks[c.changed[0] == '1' ? 0 : 1].status;
    // Undo, Redo and Undo again, each as the Edit menu names it, leave the banks, their marks and
    // the status as they were before or after.
    for (const auto& [id, shown, told] :
         {std::tuple(Undo, before, "00"), std::tuple(Redo, after, c.changed),
          std::tuple(Undo, before, "00")}) {
      const std::string verb = id == Undo ? "Undo" : "Redo";
      EXPECT_EQ(menuText(id), verb + " " + c.step + (id == Undo ? "\tCtrl+Z" : "\tCtrl+Shift+Z"));
      window_->onCommand(id);
      EXPECT_EQ(
          std::tuple(banks() == shown, changed(), status),
          std::tuple(true, told, std::string(c.step) + (id == Undo ? " undone." : " redone.")));
    }
    EXPECT_EQ(loopback::sentMessages("Out").size(), sent) << "undo says nothing to the synth";
  }
}

// A save clears the marks of the slots it wrote, and only when it succeeds; the file holds an
// emptied slot as absent, as a load into the bank leaves it. Once undone or redone, whether the
// file holds the bank is no longer known.
TEST_F(UnsavedChangesTest, ASaveClearsTheSlotsItCoveredOnlyWhenItSucceeds) {
  std::filesystem::create_directory(path("folder.syx"));  // no file can replace a folder
  const auto empty7 = [&] { window_->StoreToSlot(0, 7, Patch(window_->definition()), false); };
  const auto undoRedo = [&] {
    window_->onCommand(Undo);
    window_->onCommand(Redo);
  };
  using Saves = std::vector<std::pair<std::vector<int>, const char*>>;  // selection, file
  const struct {
    int bank;
    Saves saves;
    const char* changed;
    std::function<void()> before = {}, after = {};
  } cases[] = {
      {0, Saves{{{3}, "a.syx"}}, "10"},
      {0, Saves{{{3}, "a.syx"}, {{7}, "b.mid"}}, "00"},
      {0, Saves{{{3, 7}, "a.syx"}}, "00", empty7},
      {1, Saves{{{3, 7}, "a.syx"}}, "10"},
      {0, Saves{{{3, 7}, "folder.syx"}}, "10"},
      {0, Saves{{{3, 7}, "a.syx"}}, "10", {}, undoRedo},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    restart(false);
    loadTwo();
    if (c.before) c.before();
    for (const auto& [selection, file] : c.saves) {
      select(c.bank, selection);
      command(SaveSelected, file);
    }
    if (c.after) c.after();
    EXPECT_EQ(changed(), c.changed);
  }
}

TEST_F(UnsavedChangesTest, ChangeInstrumentAsksFirstAndRebuildsForTheChosenSection) {
  writeFile("banklore.idf",
            readFile("banklore.idf") + "[Small]\nSettings=Other\nNumTotalPatches=5\n");
  writeFile("banklore.ini", readFile("banklore.ini") + "[Other]\nLastPath1=/somewhere/\n");
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
  EXPECT_EQ(std::tuple(prompts_.runningShown.size(), slotName(0, 3), changed()),
            std::tuple(2u, "three", "10"));
  EXPECT_EQ(menuText(Undo), "Undo Load\tCtrl+Z") << "cancelled: the banks stay, so does undo";
  chosen = true;
  prompts_.yesNo = {true};
  select(0, {1});
  command(Copy);
  ASSERT_EQ(window_->clipboard().size(), 1u);
  command(ChangeInstrument);
  EXPECT_EQ(std::tuple(window_->slotCount(), view_.banks[1].rows, view_.banks[0].status,
                       window_->bank(1).lastPath, window_->clipboard().size()),
            std::tuple(5, 5, "Ready.", "/somewhere/", 0u));
  EXPECT_EQ(menuText(Undo), "(grayed) Undo\tCtrl+Z") << "a new history";
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
  for (const auto& c : cases) {
    for (const bool byQuit : {false, true}) {
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
  EXPECT_EQ(std::tuple(prompts_.questions.size(), view_.endRuns), std::tuple(0u, 1));
  EXPECT_EQ(readFile("banklore_recovery_1.syx"), before) << "every slot, in slot order";
  EXPECT_FALSE(std::filesystem::exists(recovery(1))) << "bank 2 held nothing unsaved";
  EXPECT_EQ(logCount("Unsaved changes of Bank 1 kept in " + recovery(0) + "\nClosing dialog...\n"),
            1);

  for (const bool loadBack : {true, false}) {
    SCOPED_TRACE(loadBack);
    restart();  // the window before (still changed after Yes) keeps its bank again as it goes
    EXPECT_TRUE(prompts_.questions.empty()) << "asked once the window is up";
    prompts_.yesNo = {loadBack};
    EXPECT_EQ(clock_.runPosted(), 1);
    EXPECT_EQ(prompts_.questions,
              S{"Banklore was ended with unsaved changes in Bank 1. Load them back?"});
    EXPECT_FALSE(std::filesystem::exists(recovery(0))) << "deleted whatever the answer";
    EXPECT_EQ(bankBytes(0) == before, loadBack);
    EXPECT_EQ(changed(), loadBack ? "10" : "00") << "loaded back, still unsaved";
  }
  restart();  // nothing unsaved at the end: no file, no offer
  EXPECT_EQ(clock_.runPosted(), 0);
}

}  // namespace
}  // namespace banklore::testing
