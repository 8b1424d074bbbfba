// The window as the user meets it: what it shows at start, every key and button reaching the
// librarian, the context menu, resizing, drops and every way of closing.
#include <QAction>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "core/patch.h"
#include "ui/command_menus.h"
#include "ui/support/ui_fixture.h"

namespace banklore::testing {
namespace {

using MainFrameTest = WindowTest;

std::string commandLine(int id) {
  return "OnCommand(" + std::to_string(id) + ", 0)";
}

TEST_F(MainFrameTest, StartShowsBothBanksReadyWithTheFirstRowSelected) {
  start();
  EXPECT_EQ(frame_.windowTitle(), QStringLiteral("Banklore 1.12b - Nova"));
  for (int b = 0; b < 2; ++b) {
    SCOPED_TRACE(b);
    WindowPanel& panel = frame_.panel();
    BankTableModel& model = panel.model(b);
    EXPECT_EQ(panel.caption(b).text(), QStringLiteral("Bank %1").arg(b + 1));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Name"));
    ASSERT_EQ(model.rowCount(), 256);
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("A000"));
    EXPECT_EQ(model.data(model.index(255, 0)).toString(), QStringLiteral("B127"));
    // Nova names are sixteen bytes: fifteen question marks and a blank.
    EXPECT_EQ(model.data(model.index(77, 1)).toString(), QStringLiteral("??????????????? "));
    EXPECT_EQ(panel.status(b).text(), QStringLiteral("Ready."));
    EXPECT_EQ(panel.progress(b).value(), panel.progress(b).maximum());
    EXPECT_EQ(frame_.selectedRows(b), std::vector<int>{0});
    EXPECT_EQ(panel.list(b).currentIndex().row(), 0);
  }
}

TEST_F(MainFrameTest, EveryAcceleratorReachesItsCommand) {
  start();
  struct KeyCase {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int id;
  };
  const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, alt = Qt::AltModifier;
  const KeyCase cases[] = {
      {Qt::Key_A, ctrl, 40003},
      {Qt::Key_N, ctrl, 40004},
      {Qt::Key_S, alt, 40010},
      {Qt::Key_R, alt, 40011},
      {Qt::Key_S, ctrl, 40006},
      {Qt::Key_L, ctrl, 40008},
      {Qt::Key_L, ctrl | alt, 40009},
      {Qt::Key_F5, Qt::NoModifier, 40007},
      {Qt::Key_F6, Qt::ShiftModifier, 40012},
      {Qt::Key_N, alt, 40012},
      {Qt::Key_C, ctrl, 40020},
      {Qt::Key_V, ctrl, 40021},
      {Qt::Key_S, ctrl | alt, 40023},
      {Qt::Key_M, alt, 40013},
      {Qt::Key_S, ctrl | Qt::ShiftModifier, 40019},
      {Qt::Key_F1, Qt::NoModifier, 1051},
      {Qt::Key_F2, Qt::NoModifier, 1052},
  };
  ASSERT_EQ(std::size(cases), accelerators().size());
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.id);
    const int before = countInLog(commandLine(c.id));
    QTest::keyClick(QApplication::focusWidget(), c.key, c.modifiers);
    EXPECT_EQ(countInLog(commandLine(c.id)), before + 1);
  }
  // F2 made bank 2 active and focused; Select All then acts on it alone.
  EXPECT_EQ(app_->activeBank(), 1);
  EXPECT_TRUE(frame_.panel().list(1).hasFocus());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, ctrl);
  EXPECT_EQ(frame_.selectedRows(1).size(), 256u);
  EXPECT_TRUE(frame_.selectedRows(0).empty());  // Ctrl+N emptied it while bank 1 was active
  EXPECT_FALSE(app_->closed());
}

TEST_F(MainFrameTest, ButtonsRaiseTheirCommandsAndBankButtonsActOnTheirOwnBank) {
  start();
  WindowPanel& panel = frame_.panel();
  const char* const texts[] = {"Request Sel.",   "Send Sel.",    "Save Sel...", "Load...",
                               "Load to Sel...", "Copy",         "Rename...",   "&About...",
                               "S&etup...",      "&Change Inst."};
  for (int i = 0; i < kMiddleButtonCount; ++i) {
    EXPECT_EQ(panel.middleButton(i).text(), QString::fromLatin1(texts[i]));
    QTest::mouseClick(&panel.middleButton(i), Qt::LeftButton);
    EXPECT_EQ(countInLog(commandLine(static_cast<int>(kMiddleButtons[i].id))), 1);
  }
  frame_.setSelection(1, {4, 5}, 5);
  QTest::mouseClick(&panel.bankButton(1, 0), Qt::LeftButton);  // "<< Up" of bank 2
  EXPECT_EQ(frame_.selectedRows(1), (std::vector<int>{3, 4}));
  EXPECT_EQ(app_->activeBank(), 0);
  QTest::mouseClick(&panel.bankButton(1, 2), Qt::LeftButton);  // "Down >>"
  EXPECT_EQ(frame_.selectedRows(1), (std::vector<int>{4, 5}));
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
  struct MenuCase {
    std::vector<int> rows;
    bool copyFirst;
    const char* enabled;  // Select All .. Sort, in menu order
  };
  const MenuCase cases[] = {
      {{}, false, "10001100000000"},  {{7}, false, "11111111110010"},
      {{7}, true, "11111111111010"},  {{3, 9}, false, "11111111111111"},
      {all, false, "01111111111001"},
  };
  for (const MenuCase& c : cases) {
    SCOPED_TRACE(c.enabled);
    if (c.copyFirst) app_->onCommand(CommandId::Copy);
    frame_.setSelection(0, c.rows, std::nullopt);
    QMenu menu;
    fillContextMenu(menu, *app_->onContextMenu(0));
    std::string enabled;
    std::vector<int> separatorsAfter;
    for (QAction* action : menu.actions()) {
      if (action->isSeparator()) {
        separatorsAfter.push_back(*commandOf(menu.actions()[menu.actions().indexOf(action) - 1]));
        continue;
      }
      enabled += action->isEnabled() ? '1' : '0';
      EXPECT_TRUE(action->shortcut().isEmpty());  // the keys are the window's
    }
    EXPECT_EQ(enabled, c.enabled);
    EXPECT_EQ(separatorsAfter,
              (std::vector<int>{40004, 40011, 40009, 40007, 40012, 40021, 40023, 40013}));
    EXPECT_EQ(menu.actions().front()->text(), QStringLiteral("Select &All\tCtrl+A"));
  }
}

TEST_F(MainFrameTest, RightClickOverAListShowsTheMenuThereAndRunsTheChoice) {
  start();
  int shown = 0;
  QObject::connect(&frame_, &MainFrame::contextMenuShown, &frame_, [&](QMenu* menu) {
    ++shown;
    QTimer::singleShot(0, menu, [menu] {
      menu->setActiveAction(menu->actions().front());  // Select All
      QTest::keyClick(menu, Qt::Key_Return);
    });
  });
  BankList& list = frame_.panel().list(1);
  const QPoint inside = list.visualRect(list.model()->index(6, 1)).center();
  QContextMenuEvent click(QContextMenuEvent::Mouse, inside, list.viewport()->mapToGlobal(inside));
  QApplication::sendEvent(list.viewport(), &click);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(app_->activeBank(), 1);
  EXPECT_EQ(frame_.selectedRows(1).size(), 256u);

  // From the keyboard, or over anything but a list, the librarian is asked and shows nothing.
  QContextMenuEvent keyboard(QContextMenuEvent::Keyboard, QPoint(5, 5),
                             list.viewport()->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(list.viewport(), &keyboard);
  QWidget& button = frame_.panel().middleButton(0);
  QContextMenuEvent elsewhere(QContextMenuEvent::Mouse, QPoint(2, 2),
                              button.mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(&button, &elsewhere);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(countInLog("Displaying context menu"), 3);
}

TEST_F(MainFrameTest, ResizingSharesTheWidthAndGivesTheListsTheHeight) {
  start();
  WindowPanel& panel = frame_.panel();
  const QSize start = panel.size();
  const QRect list1 = panel.list(0).geometry(), list2 = panel.list(1).geometry();
  const QRect status2 = panel.status(1).geometry(), progress1 = panel.progress(0).geometry();
  const QRect up1 = panel.bankButton(0, 0).geometry(), setup = panel.middleButton(8).geometry();

  frame_.resize(frame_.width() + 200, frame_.height());
  ASSERT_TRUE(waitUntil([&] { return panel.width() == start.width() + 200; }));
  EXPECT_EQ(panel.list(0).x(), list1.x());
  EXPECT_GT(panel.list(0).width(), list1.width());
  EXPECT_GT(panel.list(1).x(), list2.x());
  EXPECT_GT(panel.list(1).width(), list2.width());
  EXPECT_EQ(panel.caption(1).x(), panel.list(1).x());

  frame_.resize(frame_.width() - 200, frame_.height() + 100);
  ASSERT_TRUE(waitUntil([&] { return panel.height() == start.height() + 100; }));
  EXPECT_EQ(panel.list(0).geometry(), list1.adjusted(0, 0, 0, 100));
  EXPECT_EQ(panel.list(1).geometry(), list2.adjusted(0, 0, 0, 100));
  EXPECT_EQ(panel.status(1).geometry(), status2.translated(0, 100));
  EXPECT_EQ(panel.progress(0).geometry(), progress1.translated(0, 100));
  EXPECT_EQ(panel.bankButton(0, 0).geometry(), up1.translated(0, 100));
  EXPECT_EQ(panel.middleButton(8).geometry(), setup);
  BankList& list = panel.list(0);  // the Name column fills what "#" leaves
  EXPECT_EQ(list.columnWidth(0) + list.columnWidth(1), list.viewport()->width());
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
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &drop);
  EXPECT_EQ(app_->name(1, slot), "Dropped Tone    ");
  EXPECT_EQ(app_->name(0, slot), "??????????????? ");
  BankTableModel& model = frame_.panel().model(1);
  EXPECT_EQ(model.data(model.index(slot, 1)).toString(), QStringLiteral("Dropped Tone    "));
}

TEST_F(MainFrameTest, EnterNeverClosesEscapeAndTheCloseBoxCloseOnce) {
  start();
  int finished = 0;
  QObject::connect(&frame_, &MainFrame::runFinished, &frame_, [&] { ++finished; });
  QTest::keyClick(&frame_, Qt::Key_Return);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
  EXPECT_FALSE(app_->closed());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_TRUE(app_->closed());
  EXPECT_FALSE(frame_.isVisible());
  frame_.close();  // the window going afterwards does not close the librarian again
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(countInLog("Closing dialog..."), 1);
  const WindowRect rect = frame_.windowRect();
  const std::string settings = readWholeFile(dir_ + "banklore.ini");
  EXPECT_NE(settings.find("PosX=" + std::to_string(rect.left)), std::string::npos) << settings;
  EXPECT_NE(settings.find("Height=" + std::to_string(rect.bottom)), std::string::npos);
}

TEST_F(MainFrameTest, FileMenuNeverGraysAndItsQuitRunsTheClosingSteps) {
  start();
  QStringList texts;
  for (QAction* action : frame_.fileMenu().actions()) {
    EXPECT_TRUE(action->isEnabled());
    texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
  }
  EXPECT_EQ(texts, (QStringList{"&Save Selected...", "&Load...", "L&oad to selected slots...", "-",
                                "Change Instrument...", "-", "Quit"}));
  frame_.fileMenu().actions().back()->trigger();
  EXPECT_TRUE(app_->closed());
  EXPECT_FALSE(frame_.isVisible());
}

TEST_F(MainFrameTest, SavedPlacementIsRestoredUnlessItIsOffEveryScreen) {
  writeWholeFile(dir_ + "banklore.ini", "[General]\nPosX=100\nPosY=50\nWidth=700\nHeight=550\n");
  start();
  EXPECT_EQ(frame_.windowRect(), (WindowRect{100, 50, 700, 550}));
  frame_.setWindowRect({-9000, -9000, -8400, -8500});
  EXPECT_EQ(frame_.windowRect(), (WindowRect{100, 50, 700, 550}));
}

}  // namespace
}  // namespace banklore::testing
