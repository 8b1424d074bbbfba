// The window as the user meets it: what it shows at start, every key and button reaching the
// librarian, the context menu, resizing, drops and every way of closing.
#include <QAction>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <csignal>
#include <filesystem>

#include "core/patch.h"
#include "midi/loopback_backend.h"
#include "ui/command_menus.h"
#include "ui/support/ui_fixture.h"
#include "ui/termination_watch.h"

namespace banklore::testing {
namespace {

using MainFrameTest = WindowTest;

const auto commandLine = [](int id) { return "OnCommand(" + std::to_string(id) + ", 0)"; };

TEST_F(MainFrameTest, StartShowsBothBanksReadyWithTheFirstRowSelected) {
  start();
  for (int b = 0; b < 2; ++b) {
    SCOPED_TRACE(b);
    BankTableModel& model = frame_.panel().model(b);
    ASSERT_EQ(model.rowCount(), 256);
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("A000"));
    EXPECT_EQ(model.data(model.index(255, 0)).toString(), QStringLiteral("B127"));
    // Nova names are sixteen bytes: fifteen question marks and a blank.
    EXPECT_EQ(model.data(model.index(77, 1)).toString(), QStringLiteral("??????????????? "));
    EXPECT_EQ(frame_.panel().status(b).text(), QStringLiteral("Ready."));
    EXPECT_EQ(frame_.selectedRows(b), std::vector<int>{0});
  }
  EXPECT_EQ(frame_.windowTitle(), QStringLiteral("Banklore 1.12b - Nova"));
  // The librarian's progress reaches the bar of its bank, and its text the status line.
  app_->BeginProgress(1, "Sending patches...", 4);
  app_->StepProgress(1);
  const QProgressBar& bar = frame_.panel().progress(1);
  EXPECT_EQ(std::make_pair(bar.maximum(), bar.value()), std::make_pair(4, 1));
  EXPECT_EQ(frame_.panel().status(1).text(), QStringLiteral("Sending patches..."));
  EXPECT_EQ(frame_.panel().progress(0).value(), frame_.panel().progress(0).maximum());
}

TEST_F(MainFrameTest, EveryAcceleratorReachesItsCommand) {
  start();
  const Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier,
                              alt = Qt::AltModifier, shift = Qt::ShiftModifier;
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int id;
  } cases[] = {
      {Qt::Key_A, ctrl, 40003},       {Qt::Key_N, ctrl, 40004},  {Qt::Key_S, alt, 40010},
      {Qt::Key_R, alt, 40011},        {Qt::Key_S, ctrl, 40006},  {Qt::Key_L, ctrl, 40008},
      {Qt::Key_L, ctrl | alt, 40009}, {Qt::Key_F5, none, 40007}, {Qt::Key_F6, shift, 40012},
      {Qt::Key_N, alt, 40012},        {Qt::Key_C, ctrl, 40020},  {Qt::Key_V, ctrl, 40021},
      {Qt::Key_S, ctrl | alt, 40023}, {Qt::Key_M, alt, 40013},   {Qt::Key_S, ctrl | shift, 40019},
      {Qt::Key_F1, none, 1051},       {Qt::Key_F2, none, 1052},
  };
  ASSERT_EQ(std::size(cases), accelerators().size());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    const int before = countInLog(commandLine(c.id));
    QTest::keyClick(QApplication::focusWidget(), c.key, c.modifiers);
    EXPECT_EQ(countInLog(commandLine(c.id)), before + 1);
  }
  EXPECT_TRUE(frame_.panel().list(1).hasFocus());  // F2 made bank 2 active and focused it
  EXPECT_FALSE(app_->closed());
}

TEST_F(MainFrameTest, ButtonsRaiseTheirCommandsAndBankButtonsActOnTheirOwnBank) {
  start();
  WindowPanel& panel = frame_.panel();
  for (int i = 0; i < kMiddleButtonCount; ++i) {
    QTest::mouseClick(&panel.middleButton(i), Qt::LeftButton);
    EXPECT_EQ(countInLog(commandLine(static_cast<int>(kMiddleButtons[i].id))), 1) << i;
  }
  frame_.setSelection(1, {4, 5}, 5);
  QTest::mouseClick(&panel.bankButton(1, 0), Qt::LeftButton);  // "<< Up" of bank 2
  EXPECT_EQ(frame_.selectedRows(1), (std::vector<int>{3, 4}));
  QTest::mouseClick(&panel.bankButton(1, 1), Qt::LeftButton);  // "Activate"
  EXPECT_EQ(app_->activeBank(), 1);
  // A left click into a list makes its bank active.
  BankList& list = panel.list(0);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier,
                    list.visualRect(list.model()->index(3, 1)).center());
  EXPECT_EQ(app_->activeBank(), 0);
  EXPECT_EQ(frame_.selectedRows(0), std::vector<int>{3});
}

TEST_F(MainFrameTest, ContextMenuGraysItemsBySelectionAndClipboard) {
  start();
  std::vector<int> all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = i;
  const struct {
    std::vector<int> rows;
    bool copyFirst;
    const char* enabled;  // Select All .. Sort, then Mark duplicates, in menu order
  } cases[] = {
      {{}, false, "100011000000001"},  {{7}, false, "111111111100101"},
      {{7}, true, "111111111110101"},  {{3, 9}, false, "111111111111111"},
      {all, false, "011111111110011"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.enabled);
    if (c.copyFirst) app_->onCommand(CommandId::Copy);
    frame_.setSelection(0, c.rows, std::nullopt);
    QMenu menu;
    fillContextMenu(menu, *app_->onContextMenu(0));
    std::string enabled;
    for (QAction* action : menu.actions()) {
      if (!action->isSeparator()) enabled += action->isEnabled() ? '1' : '0';
    }
    EXPECT_EQ(enabled, c.enabled);
  }
}

TEST_F(MainFrameTest, RightClickOverAListShowsTheMenuThereAndRunsTheChoice) {
  start();
  ModalScript script;  // picks Select All from each menu shown, once it is up
  int shown = 0;
  QObject::connect(&frame_, &MainFrame::contextMenuShown, &frame_, [&](QMenu*) {
    ++shown;
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
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(app_->activeBank(), 1);
  EXPECT_EQ(frame_.selectedRows(1).size(), 256u);
  // From the keyboard the librarian is asked all the same and nothing is shown.
  QContextMenuEvent keyboard(QContextMenuEvent::Keyboard, inside, click.globalPos());
  QApplication::sendEvent(list.viewport(), &keyboard);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(countInLog("Displaying context menu"), 2);
}

TEST_F(MainFrameTest, ResizingSharesTheWidthAndGivesTheListsTheHeight) {
  start();
  WindowPanel& panel = frame_.panel();
  const QSize start = panel.size();
  const QRect list1 = panel.list(0).geometry(), list2 = panel.list(1).geometry();
  const QRect status2 = panel.status(1).geometry(), up1 = panel.bankButton(0, 0).geometry();
  const QRect setup = panel.middleButton(8).geometry();

  frame_.resize(frame_.width() + 200, frame_.height() + 100);
  ASSERT_TRUE(waitUntil([&] { return panel.size() == start + QSize(200, 100); }));
  EXPECT_EQ(panel.list(0).pos(), list1.topLeft());
  EXPECT_GT(panel.list(0).width(), list1.width());
  EXPECT_GT(panel.list(1).x(), list2.x());
  EXPECT_GT(panel.list(1).width(), list2.width());
  EXPECT_EQ(panel.list(1).height(), list2.height() + 100);
  EXPECT_EQ(panel.status(1).y(), status2.y() + 100);
  EXPECT_EQ(panel.bankButton(0, 0).pos(), up1.topLeft() + QPoint(0, 100));
  EXPECT_EQ(panel.middleButton(8).y(), setup.y());
}

TEST_F(MainFrameTest, DroppedSyxFileLoadsIntoTheBankItLandsOn) {
  start();
  Patch patch(app_->definition());
  // A fresh patch is all F7; a message in a file carries data bytes below 80 hex.
  std::vector<std::uint8_t> bytes(patch.bytes().begin(), patch.bytes().end());
  std::fill(bytes.begin() + 1, bytes.end() - 1, 0);
  patch.loadBytes(bytes);
  patch.setName("Dropped Tone");
  patch.placeInSlot(5);
  const int slot = app_->definition().patchNumberOf(patch.bytes());
  ASSERT_GE(slot, 0);
  writeWholeFile(dir_ + "one.syx", std::string(patch.bytes().begin(), patch.bytes().end()));

  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir_ + "one.syx"))});
  QWidget* viewport = frame_.panel().list(1).viewport();
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &enter);
  EXPECT_TRUE(enter.isAccepted());  // else a real drag never drops
  BankTableModel& model = frame_.panel().model(1);
  QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &drop);
  EXPECT_EQ(model.data(model.index(slot, 1)).toString(), QStringLiteral("Dropped Tone    "));
  // The list repaints both columns of that row.
  EXPECT_TRUE(std::any_of(changes.begin(), changes.end(), [&](const QList<QVariant>& change) {
    return change[0] == model.index(slot, 0) && change[1] == model.index(slot, 1);
  }));
  EXPECT_EQ(app_->name(0, slot), "??????????????? ");
}

// The close box, Escape and File > Quit each run the closing steps once; Enter never closes.
class ClosingTest : public WindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(ClosingTest, RunsTheClosingStepsOnceAndEnterNeverCloses) {
  start();
  int finished = 0;
  QObject::connect(&frame_, &MainFrame::runFinished, &frame_, [&] { ++finished; });
  QTest::keyClick(&frame_, Qt::Key_Return);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
  EXPECT_FALSE(app_->closed());
  if (GetParam() == 0) frame_.close();
  if (GetParam() == 1) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  if (GetParam() == 2) frame_.fileMenu().actions().back()->trigger();
  EXPECT_TRUE(app_->closed());
  EXPECT_FALSE(frame_.isVisible());
  frame_.close();  // the window going afterwards does not close the librarian again
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(countInLog("Closing dialog..."), 1);  // what the steps do is tested in tests/app
}

// With a bank changed each way asks first; the prompts here answer No, so the window stays.
TEST_P(ClosingTest, AChangedBankKeepsTheWindowWhenTheUserSaysNo) {
  start();
  app_->StoreToSlot(1, 2, Patch(app_->definition()), true);
  if (GetParam() == 0) frame_.close();
  if (GetParam() == 1) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  if (GetParam() == 2) frame_.fileMenu().actions().back()->trigger();
  EXPECT_FALSE(app_->closed());
  EXPECT_TRUE(frame_.isVisible());
  EXPECT_EQ(countInLog("Closing dialog..."), 0);
}

INSTANTIATE_TEST_SUITE_P(CloseBoxEscapeQuit, ClosingTest, ::testing::Values(0, 1, 2));

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
  EXPECT_EQ(finished.size(), 1);
  EXPECT_FALSE(frame_.isVisible());
  EXPECT_TRUE(std::filesystem::exists(dir_ + "banklore_recovery_1.syx"));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "banklore_recovery_2.syx"));
  EXPECT_EQ(countInLog("Closing dialog...\n..completed.\n"), 1) << "with its closing steps";
}

INSTANTIATE_TEST_SUITE_P(TermHupInt, TerminationTest, ::testing::Values(SIGTERM, SIGHUP, SIGINT));

TEST_F(MainFrameTest, SavedPlacementIsRestoredUnlessItIsOffEveryScreen) {
  writeWholeFile(dir_ + "banklore.ini", "[General]\nPosX=100\nPosY=50\nWidth=700\nHeight=550\n");
  start();
  EXPECT_EQ(frame_.windowRect(), (WindowRect{100, 50, 700, 550}));
  frame_.setWindowRect({-9000, -9000, -8400, -8500});
  EXPECT_EQ(frame_.windowRect(), (WindowRect{100, 50, 700, 550}));
}

// As a musician meets a send: Alt+S starts it, clicks into a list wait until it is over, and Space
// stops it before the next patch while the window keeps running its event loop.
TEST_F(MainFrameTest, SpaceStopsASendAndClicksIntoTheListsWaitForIt) {
  loopback::reset();
  loopback::addPort("Out", LoopbackDirection::OutputOnly);
  writeWholeFile(dir_ + "banklore.ini", "[]\nMidiOUT=Out\nSendDelay=300\n");
  start(makeLoopbackBackend);
  std::vector<std::uint8_t> nova = {0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0x00, 0x02};
  nova.resize(294, 0x41);
  nova.push_back(0xF7);
  for (int slot = 0; slot < 4; ++slot) ASSERT_TRUE(app_->bank(0).slots[slot].loadBytes(nova));
  frame_.setSelection(0, {0, 1, 2, 3}, 0);
  BankList& list = frame_.panel().list(1);
  frame_.panel().list(0).setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
  ASSERT_TRUE(app_->sending());
  EXPECT_EQ(loopback::sentMessages("Out").size(), 1u);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier,
                    list.visualRect(list.model()->index(5, 1)).center());
  EXPECT_EQ(frame_.selectedRows(1), std::vector<int>{0}) << "the click waits";
  EXPECT_EQ(app_->activeBank(), 0);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_EQ(frame_.selectedRows(0), (std::vector<int>{0, 1, 2, 3})) << "Space only stops";
  ASSERT_TRUE(waitUntil([&] { return !app_->sending(); }));
  EXPECT_EQ(frame_.panel().status(0).text(), QStringLiteral("1 patches sent (25%)."));
  EXPECT_EQ(loopback::sentMessages("Out").size(), 1u);
  loopback::reset();
}

}  // namespace
}  // namespace banklore::testing
