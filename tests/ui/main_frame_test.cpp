// The window as the user meets it: what it shows at start, every key, button and context-menu item
// reaching the librarian, sends and a close by signal. What the commands do is
// tested in tests/app; here, that the window wires them.
#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "core/patch.h"
#include "loopback_synth.h"
#include "midi/loopback_backend.h"
#include "ui/command_menus.h"
#include "ui/support/ui_fixture.h"
#include "ui/termination_watch.h"

namespace banklore::testing {
namespace {

using MainFrameTest = WindowTest;

std::string commandLine(CommandId id) {
  return "OnCommand(" + std::to_string(int(id)) + ", 0)";
}

TEST_F(MainFrameTest, StartShowsBothBanksReadyWithTheFirstRowSelected) {
  start();
  for (int b = 0; b < 2; ++b) {
    BankTableModel& model = frame_.panel().model(b);
    ASSERT_EQ(model.rowCount(), 256);
    // Nova names are sixteen bytes: fifteen question marks and a blank.
    EXPECT_EQ(
        model.data(model.index(255, 0)).toString() + model.data(model.index(77, 1)).toString(),
        QStringLiteral("B127??????????????? "));
    EXPECT_EQ(frame_.panel().status(b).text(), QStringLiteral("Ready."));
    EXPECT_EQ(frame_.selectedRows(b), std::vector<int>{0});
  }
  EXPECT_EQ(frame_.windowTitle(), QStringLiteral("Banklore 1.12b - Nova"));
}

TEST_F(MainFrameTest, EveryAcceleratorAndButtonReachesItsCommand) {
  start();
  for (const auto& table : {addedAccelerators(), accelerators()}) {
    for (const Accelerator& accelerator : table) {
      SCOPED_TRACE(accelerator.keys);
      const int before = countInLog(commandLine(accelerator.id));
      QTest::keySequence(QApplication::focusWidget(),
                         QKeySequence(QString::fromLatin1(accelerator.keys)));
      EXPECT_EQ(countInLog(commandLine(accelerator.id)), before + 1);
    }
  }
  EXPECT_TRUE(frame_.panel().list(1).hasFocus()) << "F2 made bank 2 active and focused it";
  WindowPanel& panel = frame_.panel();
  for (int i = 0; i < kMiddleButtonCount; ++i) {
    const int before = countInLog(commandLine(kMiddleButtons[i].id));
    QTest::mouseClick(&panel.middleButton(i), Qt::LeftButton);
    EXPECT_EQ(countInLog(commandLine(kMiddleButtons[i].id)), before + 1) << i;
  }
  EXPECT_FALSE(app_->closed());
  QTest::mouseClick(&panel.bankButton(0, 1), Qt::LeftButton);  // "Activate" of bank 1
  EXPECT_EQ(app_->activeBank(), 0);
  // A left click into a list makes its bank active.
  BankList& list = panel.list(1);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier,
                    list.visualRect(list.model()->index(3, 1)).center());
  EXPECT_EQ(std::pair(app_->activeBank(), frame_.selectedRows(1)),
            std::pair(1, std::vector<int>{3}));
}

// The menu shows what the librarian offers, grayed where it says; a right click shows it over the
// list and runs the choice.
TEST_F(MainFrameTest, ContextMenuShowsTheLibrariansItemsAndRunsTheChoice) {
  start();
  frame_.setSelection(0, {3}, 3);
  const auto entries = app_->onContextMenu(0);
  QMenu menu;
  fillContextMenu(menu, *entries);
  std::vector<std::pair<int, bool>> shown, offered;
  for (QAction* action : menu.actions()) {
    if (!action->isSeparator()) shown.emplace_back(action->data().toInt(), action->isEnabled());
  }
  for (const ContextMenuEntry& entry : *entries) offered.emplace_back(int(entry.id), entry.enabled);
  EXPECT_EQ(shown, offered);

  ModalScript script;  // picks Select All from each menu shown, once it is up
  int menus = 0;
  QObject::connect(&frame_, &MainFrame::contextMenuShown, &frame_, [&](QMenu*) {
    ++menus;
    script.on<QMenu>([](QMenu& menu) {
      menu.setActiveAction(menu.actions().front());
      QTest::keyClick(&menu, Qt::Key_Return);
      menu.close();  // still open if Select All was grayed
    });
  });
  BankList& list = frame_.panel().list(1);
  const QPoint inside = list.visualRect(list.model()->index(6, 1)).center();
  QContextMenuEvent click(QContextMenuEvent::Mouse, inside, list.viewport()->mapToGlobal(inside));
  QApplication::sendEvent(list.viewport(), &click);
  EXPECT_EQ(std::tuple(menus, app_->activeBank(), frame_.selectedRows(1).size()),
            std::tuple(1, 1, 256u));
  EXPECT_EQ(countInLog("Displaying context menu"), 2);
}

// A logout or `kill` cannot be asked: the changed bank goes to its recovery file and the window
// closes, whichever of the signals came (SIGHUP: the terminal it was started from went away).
class TerminationTest : public MainFrameTest, public ::testing::WithParamInterface<int> {};

TEST_P(TerminationTest, KeepsUnsavedChangesWithoutAsking) {
  start();
  app_->StoreToSlot(0, 2, Patch(app_->definition()), true);
  TerminationWatch watch;
  ASSERT_TRUE(watch.watching());
  QObject::connect(&watch, &TerminationWatch::terminationRequested, &frame_,
                   &MainFrame::closeForTermination);
  QSignalSpy finished(&frame_, &MainFrame::runFinished);
  ::raise(GetParam());
  ASSERT_TRUE(waitUntil([&] { return app_->closed(); }));
  EXPECT_EQ(std::tuple(finished.size(), frame_.isVisible()), std::tuple(1, false));
  EXPECT_TRUE(std::filesystem::exists(dir_ + "banklore_recovery_1.syx"));
  EXPECT_EQ(countInLog("Closing dialog...\n..completed.\n"), 1) << "with its closing steps";
}

INSTANTIATE_TEST_SUITE_P(TermHupInt, TerminationTest, ::testing::Values(SIGTERM, SIGHUP, SIGINT));

// As a musician meets a send: Alt+S starts it, clicks into a list wait until it is over, and Space
// stops it before the next patch.
TEST_F(MainFrameTest, SpaceStopsASendAndClicksIntoTheListsWaitForIt) {
  loopback::reset();
  loopback::addPort("Out", LoopbackDirection::OutputOnly);
  std::ofstream(dir_ + "banklore.ini") << "[]\nMidiOUT=Out\nSendDelay=300\n";
  start(makeLoopbackBackend);
  std::vector<std::uint8_t> nova = {0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0x00, 0x02};
  nova.resize(294, 0x41);
  nova.push_back(0xF7);
  for (int slot = 0; slot < 4; ++slot) ASSERT_TRUE(app_->bank(0).slots[slot].loadBytes(nova));
  frame_.setSelection(0, {0, 1, 2, 3}, 0);
  frame_.panel().list(0).setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
  ASSERT_TRUE(app_->sending());
  EXPECT_EQ(loopback::sentMessages("Out").size(), 1u);
  BankList& list = frame_.panel().list(1);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier,
                    list.visualRect(list.model()->index(5, 1)).center());
  EXPECT_EQ(std::pair(frame_.selectedRows(1), app_->activeBank()),
            std::pair(std::vector<int>{0}, 0))
      << "the click waits";
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_EQ(frame_.selectedRows(0), (std::vector<int>{0, 1, 2, 3})) << "Space only stops";
  clock_.advance(300);
  EXPECT_FALSE(app_->sending());
  EXPECT_EQ(frame_.panel().status(0).text(), QStringLiteral("1 patches sent (25%)."));
  EXPECT_EQ(loopback::sentMessages("Out").size(), 1u);
  loopback::reset();
}

// Walking a bank by ear on the virtual synth: a double-click, Ctrl+P and the slot the arrow keys
// rest on each play in its edit buffer; none of its slots and nothing of the bank changes.
TEST_F(MainFrameTest, DoubleClickCtrlPAndRestingOnARowPlayTheSynthsEditBuffer) {
  loopback::reset();
  std::filesystem::copy_file(BANKLORE_IDF, dir_ + "banklore.idf");
  const InstrumentDefinition virtualSynth(BANKLORE_IDF, "Virtual", nullptr);
  std::vector<std::string> played;
  LoopbackSynth synth(VirtualSynth(virtualSynth), "synth", [&](const Reaction& reaction) {
    if (reaction.kind == MessageKind::EditBuffer) played.push_back(reaction.note);
  });
  const std::vector<std::uint8_t> before =
      synth.player().withSynth([](auto& s) { return s.dump(); });
  std::ofstream(dir_ + "banklore.ini")
      << "[General]\nInstrument=Virtual\n[Virtual]\nMidiOUT=" << synth.inputPort()
      << "\nPlaySelected=1\n";
  start(makeLoopbackBackend);
  for (int slot = 0; slot < 4; ++slot) {
    ASSERT_TRUE(app_->bank(0).slots[slot].loadBytes(
        VirtualSynth::generatedPatch(virtualSynth, 100 + slot)));  // "Virtual A100" and on
  }
  BankList& list = frame_.panel().list(0);
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, Qt::NoModifier,
                     list.visualRect(list.model()->index(2, 1)).center());
  EXPECT_EQ(frame_.panel().status(0).text(),
            QStringLiteral("Playing A002 Virtual A102 in the edit buffer."));
  for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_Down}) {
    clock_.advance(AuditionPlayer::kRestMs - 1);  // each row left too soon
    QTest::keyClick(&list, key);
  }
  clock_.advance(AuditionPlayer::kRestMs);  // row 3, once
  frame_.setSelection(0, {1}, 1);
  QTest::keyClick(&list, Qt::Key_P, Qt::ControlModifier);
  ASSERT_TRUE(loopback::waitUntilIdle());
  EXPECT_EQ(played, (std::vector<std::string>{"Virtual A102", "Virtual A103", "Virtual A101"}));
  EXPECT_EQ(synth.player().withSynth([](auto& s) { return s.counts().auditioned; }), 3);
  EXPECT_EQ(synth.player().withSynth([](auto& s) { return s.dump(); }), before);
  EXPECT_FALSE(app_->hasUnsavedChanges(0));
  loopback::reset();
}

}  // namespace
}  // namespace banklore::testing
