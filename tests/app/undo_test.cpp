// Undo and redo: the history on its own (grouping, bounds, what a save does to the unsaved marks),
// and in the window, where every way of changing a bank, in either bank, must come back byte for
// byte and go forward again the same.
#include <map>
#include <numeric>

#include "app/support/app_fixture.h"
#include "midi/loopback_backend.h"

namespace banklore::testing {
namespace {

using enum CommandId;

UndoHistory::SlotState state(const Bytes& bytes, bool unsaved = false) {
  return {bytes, unsaved};
}

// A history over a toy store of one-byte slots.
struct ToyBank {
  std::map<std::pair<int, int>, Bytes> slots;
  UndoHistory::SlotReader reader() {
    return [this](int b, int s) { return state(slots[{b, s}]); };
  }
  void change(UndoHistory& history, int b, int s, std::uint8_t value) {
    history.noteBefore(b, s, state(slots[{b, s}]));
    slots[{b, s}] = {value};
  }
};

TEST(UndoHistoryTest, NestedGroupsMakeOneStepOfWhatReallyChanged) {
  UndoHistory history;
  ToyBank bank;
  bank.slots[{0, 1}] = {0};
  history.begin("Paste");
  bank.change(history, 0, 3, 1);
  history.begin("Change");  // a primitive inside the command joins its step
  bank.change(history, 0, 3, 2);
  bank.change(history, 1, 0, 7);
  bank.change(history, 0, 1, 0);  // stored afresh, ends as it began
  history.end(bank.reader());
  EXPECT_EQ(history.undoCount(), 0u) << "still open";
  history.end(bank.reader());
  ASSERT_EQ(history.undoCount(), 1u);
  const UndoStep& step = *history.nextUndo();
  ASSERT_EQ(step.changes.size(), 2u);
  // The first note keeps the slot as found.
  EXPECT_EQ(std::tuple(step.what, step.changes[0].bank, step.changes[0].slot, step.changes[1].bank,
                       step.changes[1].slot, step.changes[0].before, step.changes[0].after),
            std::tuple("Paste", 0, 3, 1, 0, Bytes{}, Bytes{2}));

  // Undone, the step waits to be redone; an action that changes nothing leaves it there, one that
  // changes something ends it.
  history.markUndone();
  history.begin("Select All");
  history.end(bank.reader());
  EXPECT_EQ(history.redoCount(), 1u);
  history.begin("Swap");
  bank.change(history, 0, 9, 4);
  history.end(bank.reader());
  history.noteBefore(0, 5, state({1}));  // no group open: nothing noted
  history.end(bank.reader());
  EXPECT_EQ(std::make_pair(history.undoCount(), history.redoCount()), std::make_pair(1ul, 0ul));
}

TEST(UndoHistoryTest, KeepsTheNewestStepsWithinItsBoundsAndNoneWhenOneCannotFit) {
  struct Case {
    std::size_t maxSteps, maxBytes, slotBytes;
    int steps;
    std::size_t kept;
  };
  const std::size_t small = UndoStep{"Paste", {SlotChange{0, 0, Bytes(100), Bytes(100)}}}.bytes();
  for (const Case& c : std::vector<Case>{
           {100, std::size_t{64} << 20, 100, 150, 100},  // by count
           {1000, 10 * small, 100, 25, 10},              // by bytes
           {1000, 10 * small, 100, 10, 10},              // exactly full
           {1000, small - 1, 100, 3, 0},                 // a step bigger than all there is
       }) {
    SCOPED_TRACE(c.kept);
    UndoHistory history(c.maxSteps, c.maxBytes);
    ToyBank bank;
    for (int i = 0; i < c.steps; ++i) {
      history.begin("Paste");
      history.noteBefore(0, 0, state(Bytes(c.slotBytes, 1)));
      bank.slots[{0, 0}] = Bytes(c.slotBytes, static_cast<std::uint8_t>(i + 2));
      history.end(bank.reader());
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
class UndoTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    loopback::addPort("Out", LoopbackDirection::OutputOnly);
    loopback::addPort("In", LoopbackDirection::InputOnly);
    startOnTestDefinition("", "MidiIN=In\nMidiOUT=Out\nRequestDelay=0\n");
    for (int b = 0; b < 2; ++b) {
      for (int i = 0; i < window_->slotCount(); ++i)
        window_->bank(b).slots[i].loadBytes(patchMessage(i, "ab"[b] + std::to_string(i), b));
    }
  }
  std::string menuText(CommandId id) {
    for (const EditMenuEntry& entry : window_->editMenu()) {
      if (entry.id == id) return (entry.enabled ? "" : "(grayed) ") + entry.text;
    }
    return "";
  }
};

TEST_F(UndoTest, EveryChangeToEitherBankUndoesAndRedoesByteForByte) {
  writeFile("three.syx", text(patchMessage(4, "four", 2)) + text(patchMessage(9, "nine", 2)) +
                             text(patchMessage(4, "again", 3)));
  writeFile("other.syx", text(patchMessage(12, "twelve", 4)));
  const std::vector<Bytes> start = banks();
  const struct {
    const char* step;  // as the Edit menu names it
    std::function<void(int bank)> act;
    bool inOtherBank = false;  // changes the bank it does not act on
  } cases[] = {
      {"Paste",
       [&](int b) {
         select(1 - b, {2, 3, 9});
         window_->onCommand(Copy);
         select(b, {5, 6, 7, 8});
         window_->onCommand(Paste);
       }},
      {"Copy to Other Bank",
       [&](int b) {
         view_.banks[1 - b].selection = {3, 30};
         select(b, {1, 2, 4});
         window_->onCommand(CopyToOtherBank);
       },
       true},
      {"Swap",
       [&](int b) {
         select(b, {2, 17}), window_->onCommand(Swap);
       }},
      {"Move Up",
       [&](int b) {
         view_.banks[b].selection = {3, 4, 9}, window_->onCommand(b ? UpBank1 : UpBank0);
       }},
      {"Move Down",
       [&](int b) {
         view_.banks[b].selection = {3, 30}, window_->onCommand(b ? DownBank1 : DownBank0);
       }},
      {"Move",
       [&](int b) {
         prompts_.counts = {-4}, select(b, {6, 8}), window_->onCommand(Move);
       }},
      {"Sort",
       [&](int b) {
         select(b, {2, 3, 10, 11, 20, 25}), window_->onCommand(Sort);
       }},
      {"Rename",
       [&](int b) {
         prompts_.names = {"First", std::nullopt, "Third"};
         select(b, {2, 4, 6});
         window_->onCommand(Rename);
       }},
      {"Load",
       [&](int b) {
         prompts_.files = {path("three.syx")};
         select(b, {});
         window_->onCommand(Load);
       }},
      {"Load to Selected Slots",
       [&](int b) {
         prompts_.files = {path("three.syx")};
         select(b, {0, 20});
         window_->onCommand(LoadToSelected);
       }},
      {"Drop",
       [&](int b) {
         window_->onFilesDropped(b, {path("other.syx"), path("three.syx")});
       }},
      {"Request",
       [&](int b) {
         select(b, {1, 2});
         window_->onCommand(RequestSelected);
         play("In", patchMessage(1, "got", 5));
         play("In", patchMessage(7, "stray",
                                 5));  // stored all the same, where it says
         play("In", patchMessage(2, "got", 5));
         ASSERT_EQ(view_.banks[b].status, "Request completed.");
       }},
  };
  for (int bank : {0, 1}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.step) + " in bank " + std::to_string(bank + 1));
      const std::vector<Bytes> before = banks();
      const std::size_t steps = window_->undoHistory().undoCount();
      c.act(bank);
      const std::vector<Bytes> after = banks();
      ASSERT_NE(after, before) << "the case changes nothing";
      EXPECT_EQ(window_->undoHistory().undoCount(), steps + 1) << "one action, one step";
      EXPECT_EQ(menuText(Undo), std::string("Undo ") + c.step + "\tCtrl+Z");
      const std::size_t sent = loopback::sentMessages("Out").size();
      const std::string& status = view_.banks[c.inOtherBank ? 1 - bank : bank].status;

      window_->onCommand(Undo);
      EXPECT_EQ(banks(), before);
      EXPECT_EQ(menuText(Redo), std::string("Redo ") + c.step + "\tCtrl+Shift+Z");
      EXPECT_EQ(status, std::string(c.step) + " undone.");
      window_->onCommand(Redo);
      EXPECT_EQ(banks(), after);
      EXPECT_EQ(status, std::string(c.step) + " redone.");
      window_->onCommand(Undo);
      EXPECT_EQ(banks(), before);
      EXPECT_EQ(loopback::sentMessages("Out").size(), sent) << "undo says nothing to the synth";
      window_->onCommand(Redo);  // the next case starts from here, so steps pile up
    }
  }
  // Everything undone, one step after the other, gives the banks of the start back.
  while (window_->undoHistory().undoCount() > 0) window_->onCommand(Undo);
  EXPECT_EQ(banks(), start);
}

TEST_F(UndoTest, ARequestIsOneStepFromStartToEndAndUndoAbortsItFirst) {
  std::vector<int> all(32);
  std::iota(all.begin(), all.end(), 0);
  select(1, all);
  const std::vector<Bytes> before = banks();
  window_->onCommand(RequestSelected);
  for (int slot = 0; slot < 12; ++slot) play("In", patchMessage(slot, "got", 6));
  EXPECT_EQ(window_->undoHistory().undoCount(), 0u) << "not a step before it ends";
  window_->onCommand(Undo);
  EXPECT_FALSE(window_->request().requestActive);
  EXPECT_EQ(banks(), before) << "the slots that arrived and the one awaited, all at once";
  EXPECT_EQ(view_.banks[1].status, "Request undone.");
  window_->onCommand(Redo);
  EXPECT_EQ(names(1, 11, 2), (S{"got", "b12"}));

  // While a request runs, Undo is offered for it; when it has changed nothing yet, Undo only
  // ends it, and the step before it stays. (Pasted into, slot 12 carries its own number, as the
  // request stamps it.)
  select(1, {2});
  window_->onCommand(Copy);
  select(1, {12});
  window_->onCommand(Paste);
  const std::vector<Bytes> pasted = banks();
  window_->onCommand(RequestSelected);
  EXPECT_EQ(menuText(Undo) + menuText(Redo), "Undo Request\tCtrl+Z(grayed) Redo\tCtrl+Shift+Z");
  window_->onCommand(Undo);
  EXPECT_EQ(banks(), pasted);
  EXPECT_EQ(menuText(Undo), "Undo Paste\tCtrl+Z");

  // A request that ends by itself is named in the Edit menu at once.
  select(0, {3});
  window_->onCommand(RequestSelected);
  play("In", patchMessage(3, "single", 6));
  EXPECT_EQ(menuText(Undo), "Undo Request\tCtrl+Z");
  EXPECT_EQ(window_->undoHistory().undoCount(), 3u);
}

TEST_F(UndoTest, UndoBackToTheSavedStateClearsTheUnsavedMarkUnlessASaveCameSince) {
  const auto rename = [&](int bank, int slot) {
    prompts_.names = {"renamed"};
    select(bank, {slot});
    window_->onCommand(Rename);
  };
  const auto save = [&](const char* name, int slot) {
    select(0, {slot});
    prompts_.files = {path(name)};
    prompts_.yesNo = {true};
    window_->onCommand(SaveSelected);
  };
  const auto undo = [&] { window_->onCommand(Undo); };
  const auto redo = [&] { window_->onCommand(Redo); };
  const struct {
    std::function<void()> act;
    const char* changed;
    const char* why;
  } steps[] = {
      {[&] { rename(0, 4); }, "10", ""},
      {undo, "00", "back as it was, nothing to save"},
      {redo, "10", ""},
      {[&] { save("one.syx", 4); }, "00", ""},
      {undo, "10", "the file holds the renamed patch, the bank no longer does"},
      {redo, "10", "whether the file holds it is not known after a save"},
      {[&] { rename(1, 6), save("two.syx", 0), undo(); }, "10",
       "a save of bank 1 tells nothing of 2"},
  };
  for (const auto& step : steps) {
    step.act();
    EXPECT_EQ(changed(), step.changed) << step.why;
  }
}

TEST_F(UndoTest, ChangeInstrumentClearsTheHistoryAndASendRefusesUndo) {
  select(0, {1, 2});
  window_->onCommand(Swap);
  prompts_.onChoose = [](const std::string&, const std::string&) { return false; };
  prompts_.yesNo = {true};
  window_->onCommand(ChangeInstrument);
  EXPECT_EQ(window_->undoHistory().undoCount(), 1u) << "cancelled: the banks stay, so does undo";

  window_->setSendDelay(500);
  select(0, {1, 2});
  window_->sendSelected();
  ASSERT_TRUE(window_->sending());
  const std::vector<Bytes> during = banks();
  EXPECT_EQ(menuText(Undo), "(grayed) Undo Swap\tCtrl+Z");
  window_->onCommand(Undo);
  EXPECT_EQ(std::tuple(banks(), view_.beeps), std::tuple(during, 1));
  clock_.advance(2000);
  ASSERT_FALSE(window_->sending());

  prompts_.onChoose = [](const std::string&, const std::string&) { return true; };
  prompts_.yesNo = {true};
  window_->onCommand(ChangeInstrument);
  EXPECT_EQ(menuText(Undo), "(grayed) Undo\tCtrl+Z");
  window_->onCommand(Undo);  // nothing to undo: nothing happens
  EXPECT_EQ(view_.banks[0].status, "Ready.");
}

TEST_F(UndoTest, LoadingBackTheChangesOfAnUnattendedEndIsOneStepToo) {
  prompts_.names = {"kept"};
  select(0, {2});
  window_->onCommand(Rename);
  window_->closeUnattended();
  startOnTestDefinition();
  const std::vector<Bytes> fresh = banks();
  prompts_.yesNo = {true};
  ASSERT_EQ(clock_.runPosted(), 1);
  ASSERT_EQ(slotName(0, 2), "kept");
  EXPECT_EQ(menuText(Undo), "Undo Load Back\tCtrl+Z");
  window_->onCommand(Undo);
  EXPECT_EQ(banks(), fresh);
}

TEST_F(UndoTest, MarkDuplicatesSelectsEveryRepeatOfAnEarlierPatchInBothBanks) {
  // Same data under another header (slot, device) and checksum: a duplicate. Other name: not.
  Bytes moved = patchMessage(5, "a5", 0);
  moved[2] = 14, moved[5] = 9, moved[25] ^= 1;
  window_->bank(0).slots[20].loadBytes(moved);
  window_->bank(1).slots[3].loadBytes(patchMessage(5, "a5", 0));
  window_->bank(1).slots[4].loadBytes(patchMessage(5, "a5", 0));
  window_->bank(1).slots[8].loadBytes(patchMessage(5, "other", 0));
  window_->bank(0).slots[0] = Patch(window_->definition());  // empty slots repeat, but hold nothing
  window_->bank(0).slots[1] = Patch(window_->definition());
  view_.banks[0].selection = {2};
  view_.banks[1].selection = {9};
  window_->onCommand(MarkDuplicates);
  EXPECT_EQ(std::tuple(view_.banks[0].selection, view_.banks[1].selection),
            std::tuple(std::vector<int>{20}, std::vector<int>{3, 4}));
  EXPECT_EQ(view_.banks[0].status + view_.banks[1].status,
            "1 duplicate selected.2 duplicates selected.");
  EXPECT_EQ(window_->undoHistory().undoCount(), 0u) << "selecting changes no bank";
  EXPECT_EQ(window_->onContextMenu(1)->back().id, MarkDuplicates) << "offered last";
  startOnTestDefinition();  // a fresh start: every slot empty
  window_->onCommand(MarkDuplicates);
  EXPECT_EQ(view_.banks[0].selection, std::vector<int>{});
  EXPECT_EQ(view_.banks[1].status, "0 duplicates selected.");
}

}  // namespace
}  // namespace banklore::testing
