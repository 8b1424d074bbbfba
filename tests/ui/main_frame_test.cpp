// The window as the user meets it: what it shows at start, every key and button reaching the
// librarian, the context menu, resizing, drops and every way of closing.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
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

QString cell(MainFrame& frame, int bank, int row, int column) {
  BankTableModel& model = frame.panel().model(bank);
  return model.data(model.index(row, column)).toString();
}

TEST_F(MainFrameTest, StartShowsBothBanksReadyWithTheFirstRowSelected) {
  start();
  EXPECT_EQ(frame_->windowTitle(), QStringLiteral("Banklore 1.12b - Nova"));
  for (int b = 0; b < 2; ++b) {
    SCOPED_TRACE(b);
    WindowPanel& panel = frame_->panel();
    EXPECT_EQ(panel.caption(b).text(),
              b == 0 ? QStringLiteral("Bank 1") : QStringLiteral("Bank 2"));
    EXPECT_EQ(panel.model(b).rowCount(), 256);
    EXPECT_EQ(panel.model(b).headerData(0, Qt::Horizontal).toString(), QStringLiteral("#"));
    EXPECT_EQ(panel.model(b).headerData(1, Qt::Horizontal).toString(), QStringLiteral("Name"));
    EXPECT_EQ(cell(*frame_, b, 0, 0), QStringLiteral("A000"));
    EXPECT_EQ(cell(*frame_, b, 128, 0), QStringLiteral("B000"));
    EXPECT_EQ(cell(*frame_, b, 255, 0), QStringLiteral("B127"));
    for (int row : {0, 77, 255}) {
      // Nova names are sixteen bytes: fifteen question marks and a blank.
      EXPECT_EQ(cell(*frame_, b, row, 1), QStringLiteral("??????????????? "));
    }
    EXPECT_EQ(panel.status(b).text(), QStringLiteral("Ready."));
    EXPECT_EQ(panel.progress(b).value(), panel.progress(b).maximum());
    EXPECT_FALSE(panel.progress(b).isTextVisible());
    EXPECT_EQ(frame_->selectedRows(b), std::vector<int>{0});
    EXPECT_EQ(panel.list(b).currentIndex().row(), 0);
  }
}

TEST_F(MainFrameTest, ButtonsShowTheirTextsInOrder) {
  start();
  const char* const middle[] = {"Request Sel.",   "Send Sel.",    "Save Sel...", "Load...",
                                "Load to Sel...", "Copy",         "Rename...",   "&About...",
                                "S&etup...",      "&Change Inst."};
  int previousTop = -1;
  for (int i = 0; i < kMiddleButtonCount; ++i) {
    QPushButton& button = frame_->panel().middleButton(i);
    EXPECT_EQ(button.text(), QString::fromLatin1(middle[i]));
    EXPECT_GT(button.y(), previousTop);
    previousTop = button.y();
  }
  for (int b = 0; b < 2; ++b) {
    EXPECT_EQ(frame_->panel().bankButton(b, 0).text(), QStringLiteral("<< Up"));
    EXPECT_EQ(frame_->panel().bankButton(b, 1).text(), QStringLiteral("Activate"));
    EXPECT_EQ(frame_->panel().bankButton(b, 2).text(), QStringLiteral("Down >>"));
  }
}

TEST_F(MainFrameTest, FileMenuHoldsItsItemsAndSeparatorsAndNeverGrays) {
  start();
  const QList<QAction*> actions = frame_->fileMenu().actions();
  ASSERT_EQ(actions.size(), 7);
  const char* const texts[] = {"&Save Selected...",
                               "&Load...",
                               "L&oad to selected slots...",
                               "",
                               "Change Instrument...",
                               "",
                               "Quit"};
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(actions[i]->isSeparator(), texts[i][0] == '\0');
    if (!actions[i]->isSeparator()) {
      EXPECT_EQ(actions[i]->text(), QString::fromLatin1(texts[i]));
      EXPECT_TRUE(actions[i]->isEnabled());
    }
  }
  EXPECT_EQ(frame_->menuBar()->actions().front()->text(), QStringLiteral("File"));
}

struct KeyCase {
  const char* keys;
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
  int id;
};

TEST_F(MainFrameTest, EveryAcceleratorReachesItsCommand) {
  start();
  const KeyCase cases[] = {
      {"Ctrl+A", Qt::Key_A, Qt::ControlModifier, 40003},
      {"Ctrl+N", Qt::Key_N, Qt::ControlModifier, 40004},
      {"Alt+S", Qt::Key_S, Qt::AltModifier, 40010},
      {"Alt+R", Qt::Key_R, Qt::AltModifier, 40011},
      {"Ctrl+S", Qt::Key_S, Qt::ControlModifier, 40006},
      {"Ctrl+L", Qt::Key_L, Qt::ControlModifier, 40008},
      {"Ctrl+Alt+L", Qt::Key_L, Qt::ControlModifier | Qt::AltModifier, 40009},
      {"F5", Qt::Key_F5, Qt::NoModifier, 40007},
      {"Shift+F6", Qt::Key_F6, Qt::ShiftModifier, 40012},
      {"Alt+N", Qt::Key_N, Qt::AltModifier, 40012},
      {"Ctrl+C", Qt::Key_C, Qt::ControlModifier, 40020},
      {"Ctrl+V", Qt::Key_V, Qt::ControlModifier, 40021},
      {"Ctrl+Alt+S", Qt::Key_S, Qt::ControlModifier | Qt::AltModifier, 40023},
      {"Alt+M", Qt::Key_M, Qt::AltModifier, 40013},
      {"Ctrl+Shift+S", Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier, 40019},
      {"F1", Qt::Key_F1, Qt::NoModifier, 1051},
      {"F2", Qt::Key_F2, Qt::NoModifier, 1052},
  };
  ASSERT_EQ(std::size(cases), accelerators().size());
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.keys);
    const std::string line = "OnCommand(" + std::to_string(c.id) + ", 0)";
    const int before = countInLog(line);
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : frame_.get();
    QTest::keyClick(target, c.key, c.modifiers);
    EXPECT_EQ(countInLog(line), before + 1);
    EXPECT_FALSE(app_->closed());
  }
}

TEST_F(MainFrameTest, AcceleratorsActOnTheActiveBank) {
  start();
  QTest::keyClick(frame_.get(), Qt::Key_F2);
  EXPECT_EQ(app_->activeBank(), 1);
  EXPECT_TRUE(frame_->panel().list(1).hasFocus());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(frame_->selectedRows(1).size(), 256u);
  EXPECT_EQ(frame_->panel().list(1).currentIndex().row(), 255);
  EXPECT_EQ(frame_->selectedRows(0), std::vector<int>{0});
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_N, Qt::ControlModifier);
  EXPECT_TRUE(frame_->selectedRows(1).empty());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
  EXPECT_EQ(app_->activeBank(), 0);
  EXPECT_TRUE(frame_->panel().list(0).hasFocus());
}

TEST_F(MainFrameTest, BankButtonsMoveTheirOwnBankAndActivateSwitchesBanks) {
  start();
  frame_->setSelection(1, {4, 5}, 5);
  QTest::mouseClick(&frame_->panel().bankButton(1, 0), Qt::LeftButton);  // "<< Up" of bank 2
  EXPECT_EQ(frame_->selectedRows(1), (std::vector<int>{3, 4}));
  EXPECT_EQ(app_->activeBank(), 0);
  QTest::mouseClick(&frame_->panel().bankButton(1, 2), Qt::LeftButton);  // "Down >>"
  EXPECT_EQ(frame_->selectedRows(1), (std::vector<int>{4, 5}));
  QTest::mouseClick(&frame_->panel().bankButton(1, 1), Qt::LeftButton);  // "Activate"
  EXPECT_EQ(app_->activeBank(), 1);
  EXPECT_EQ(countInLog("OnCommand(1020, 0)"), 1);
  EXPECT_EQ(countInLog("OnCommand(1050, 0)"), 1);
  EXPECT_EQ(countInLog("OnCommand(1052, 0)"), 1);
}

TEST_F(MainFrameTest, MiddleButtonsRaiseTheirCommands) {
  start();
  for (int i = 0; i < kMiddleButtonCount; ++i) {
    const int id = static_cast<int>(kMiddleButtons[i].id);
    SCOPED_TRACE(id);
    QTest::mouseClick(&frame_->panel().middleButton(i), Qt::LeftButton);
    EXPECT_EQ(countInLog("OnCommand(" + std::to_string(id) + ", 0)"), 1);
  }
}

TEST_F(MainFrameTest, LeftClickInAListMakesItsBankActive) {
  start();
  BankList& list = frame_->panel().list(1);
  const QRect row3 = list.visualRect(list.model()->index(3, 1));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, row3.center());
  EXPECT_EQ(app_->activeBank(), 1);
  EXPECT_EQ(frame_->selectedRows(1), std::vector<int>{3});
}

// k selected slots of bank 0, and whether each of the fourteen items is enabled.
struct MenuCase {
  std::vector<int> rows;
  bool clipboardFilled;
  std::array<bool, 14> enabled;
};

std::vector<int> allRows(int n) {
  std::vector<int> rows(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) rows[static_cast<std::size_t>(i)] = i;
  return rows;
}

TEST_F(MainFrameTest, ContextMenuGraysItemsByTheSelection) {
  start();
  // Order: Select All, Select None, Send, Request, Save, Load, Load to sel., Copy to other bank,
  // Rename, Copy, Paste, Swap, Move, Sort.
  const MenuCase cases[] = {
      {{}, false, {1, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
      {{7}, false, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 1, 0}},
      {{7}, true, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 0}},
      {{3, 9}, true, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
      {allRows(256), true, {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 1}},
  };
  const std::vector<int> separatorsAfter = {1, 3, 6, 7, 8, 10, 11, 12};
  for (const MenuCase& c : cases) {
    SCOPED_TRACE(c.rows.size());
    if (c.clipboardFilled && app_->clipboard().empty()) {
      frame_->setSelection(0, {0}, 0);
      app_->onCommand(CommandId::Copy);
    }
    frame_->setSelection(0, c.rows, std::nullopt);
    const auto entries = app_->onContextMenu(0);
    ASSERT_TRUE(entries.has_value());
    QMenu menu;
    fillContextMenu(menu, *entries);
    int item = 0;
    std::vector<int> separators;
    for (QAction* action : menu.actions()) {
      if (action->isSeparator()) {
        separators.push_back(item - 1);
        continue;
      }
      EXPECT_EQ(action->isEnabled(), c.enabled[static_cast<std::size_t>(item)])
          << action->text().toStdString();
      EXPECT_EQ(commandOf(action), static_cast<int>(contextMenuItems()[item].id));
      ++item;
    }
    EXPECT_EQ(item, 14);
    EXPECT_EQ(separators, separatorsAfter);
  }
}

TEST_F(MainFrameTest, ContextMenuShowsTheShortcutTextAfterATab) {
  start();
  QMenu menu;
  fillContextMenu(menu, *app_->onContextMenu(1));
  const QList<QAction*> actions = menu.actions();
  EXPECT_EQ(actions[0]->text(), QStringLiteral("Select &All\tCtrl+A"));
  EXPECT_EQ(actions.back()->text(), QStringLiteral("Sort alphabetically\tCtrl+Shift+S"));
  // The keys belong to the window's accelerators, not to the menu's items.
  for (QAction* action : actions) EXPECT_TRUE(action->shortcut().isEmpty());
}

TEST_F(MainFrameTest, RightClickOverAListShowsTheMenuAndRunsTheChosenItem) {
  start();
  BankList& list = frame_->panel().list(1);
  frame_->setSelection(1, {2, 6}, 6);
  std::vector<bool> shownEnabled;
  QObject::connect(frame_.get(), &MainFrame::contextMenuShown, frame_.get(), [&](QMenu* menu) {
    QTimer::singleShot(0, menu, [&, menu] {
      for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) shownEnabled.push_back(action->isEnabled());
        if (commandOf(action) == static_cast<int>(CommandId::SelectAll)) {
          menu->setActiveAction(action);
        }
      }
      QTest::keyClick(menu, Qt::Key_Return);
    });
  });
  const QPoint inside = list.visualRect(list.model()->index(6, 1)).center();
  QContextMenuEvent event(QContextMenuEvent::Mouse, inside, list.viewport()->mapToGlobal(inside));
  QApplication::sendEvent(list.viewport(), &event);
  EXPECT_EQ(shownEnabled.size(), 14u);
  EXPECT_EQ(app_->activeBank(), 1);
  EXPECT_EQ(countInLog("Displaying context menu"), 1);
  EXPECT_EQ(frame_->selectedRows(1).size(), 256u);  // Select All ran on bank 2
}

TEST_F(MainFrameTest, ContextMenuFromTheKeyboardOrOutsideTheListsShowsNothing) {
  start();
  int shown = 0;
  QObject::connect(frame_.get(), &MainFrame::contextMenuShown, frame_.get(), [&](QMenu* menu) {
    ++shown;
    QTimer::singleShot(0, menu, &QMenu::close);
  });
  BankList& list = frame_->panel().list(0);
  QContextMenuEvent keyboard(QContextMenuEvent::Keyboard, QPoint(5, 5),
                             list.viewport()->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(list.viewport(), &keyboard);
  QWidget& button = frame_->panel().middleButton(0);
  QContextMenuEvent elsewhere(QContextMenuEvent::Mouse, QPoint(2, 2),
                              button.mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(&button, &elsewhere);
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(countInLog("Displaying context menu"), 2);  // asked, and answered "no menu"
}

TEST_F(MainFrameTest, ResizingSharesTheWidthAndGivesTheListsTheHeight) {
  start();
  WindowPanel& panel = frame_->panel();
  const QSize start = panel.size();
  const auto geometry = [&](QWidget& w) { return w.geometry(); };
  const QRect list1 = geometry(panel.list(0)), list2 = geometry(panel.list(1));
  const QRect status2 = geometry(panel.status(1)), progress1 = geometry(panel.progress(0));
  const QRect up1 = geometry(panel.bankButton(0, 0)), down2 = geometry(panel.bankButton(1, 2));
  const QRect setup = geometry(panel.middleButton(8));

  frame_->resize(frame_->width() + 200, frame_->height());
  ASSERT_TRUE(waitUntil([&] { return panel.width() == start.width() + 200; }));
  EXPECT_EQ(panel.list(0).x(), list1.x());
  EXPECT_GT(panel.list(0).width(), list1.width());
  EXPECT_GT(panel.list(1).x(), list2.x());
  EXPECT_GT(panel.list(1).width(), list2.width());
  EXPECT_EQ(panel.list(1).height(), list2.height());
  EXPECT_EQ(panel.caption(1).x(), panel.list(1).x());
  EXPECT_EQ(panel.middleButton(8).y(), setup.y());
  EXPECT_EQ(panel.list(1).geometry().right() <= panel.width(), true);

  frame_->resize(frame_->width() - 200, frame_->height() + 100);
  ASSERT_TRUE(waitUntil([&] { return panel.height() == start.height() + 100; }));
  EXPECT_EQ(geometry(panel.list(0)), list1.adjusted(0, 0, 0, 100));
  EXPECT_EQ(geometry(panel.list(1)), list2.adjusted(0, 0, 0, 100));
  EXPECT_EQ(geometry(panel.status(1)), status2.translated(0, 100));
  EXPECT_EQ(geometry(panel.progress(0)), progress1.translated(0, 100));
  EXPECT_EQ(geometry(panel.bankButton(0, 0)), up1.translated(0, 100));
  EXPECT_EQ(geometry(panel.bankButton(1, 2)), down2.translated(0, 100));
  EXPECT_EQ(geometry(panel.middleButton(8)), setup);
  // The Name column fills what the "#" column leaves.
  BankList& list = panel.list(0);
  EXPECT_EQ(list.columnWidth(0) + list.columnWidth(1), list.viewport()->width());
}

TEST_F(MainFrameTest, DroppedSyxFileLoadsIntoTheBankItLandsOn) {
  start();
  Patch patch(app_->definition());
  // A fresh patch is all F7; a file message carries data bytes below 80 hex.
  std::vector<std::uint8_t> bytes(patch.bytes().begin(), patch.bytes().end());
  std::fill(bytes.begin() + 1, bytes.end() - 1, 0);
  patch.loadBytes(bytes);
  patch.setName("Dropped Tone");
  patch.placeInSlot(5);
  patch.updateChecksum();
  const int slot = app_->definition().patchNumberOf(patch.bytes());
  ASSERT_TRUE(app_->definition().matchesSendTemplate(patch.bytes()));
  ASSERT_GE(slot, 0);
  const std::string file = dir_ + "one.syx";
  writeWholeFile(file, std::string(patch.bytes().begin(), patch.bytes().end()));

  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(file))});
  QWidget* viewport = frame_->panel().list(1).viewport();
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &drop);
  EXPECT_TRUE(drop.isAccepted());
  EXPECT_EQ(app_->name(1, slot), "Dropped Tone    ");
  EXPECT_EQ(cell(*frame_, 1, slot, 1).toStdString(), app_->name(1, slot));
  EXPECT_EQ(app_->name(0, slot), "??????????????? ");
}

TEST_F(MainFrameTest, DragWithoutLocalFilesIsRefused) {
  start();
  QMimeData mime;
  mime.setText(QStringLiteral("just text"));
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(frame_->panel().list(0).viewport(), &enter);
  EXPECT_FALSE(enter.isAccepted());
}

TEST_F(MainFrameTest, CloseBoxRunsTheClosingStepsAndSavesThePlacement) {
  start();
  frame_->close();
  EXPECT_TRUE(app_->closed());
  EXPECT_TRUE(frame_->runEnded());
  EXPECT_FALSE(frame_->isVisible());
  const WindowRect rect = frame_->windowRect();
  const std::string settings = readWholeFile(dir_ + "banklore.ini");
  EXPECT_NE(settings.find("PosX=" + std::to_string(rect.left)), std::string::npos) << settings;
  EXPECT_NE(settings.find("Width=" + std::to_string(rect.right)), std::string::npos) << settings;
  EXPECT_NE(settings.find("Height=" + std::to_string(rect.bottom)), std::string::npos);
  EXPECT_EQ(countInLog("Closing dialog..."), 1);
}

TEST_F(MainFrameTest, EscapeClosesButEnterDoesNot) {
  start();
  int finished = 0;
  QObject::connect(frame_.get(), &MainFrame::runFinished, frame_.get(), [&] { ++finished; });
  for (QWidget* target : {static_cast<QWidget*>(frame_.get()), QApplication::focusWidget()}) {
    QTest::keyClick(target, Qt::Key_Return);
    QTest::keyClick(target, Qt::Key_Enter);
  }
  EXPECT_FALSE(app_->closed());
  EXPECT_TRUE(frame_->isVisible());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_TRUE(app_->closed());
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(countInLog("Closing dialog..."), 1);
}

TEST_F(MainFrameTest, QuitFromTheFileMenuClosesOnce) {
  start();
  QAction* quit = frame_->fileMenu().actions().back();
  quit->trigger();
  EXPECT_TRUE(app_->closed());
  EXPECT_FALSE(frame_->isVisible());
  frame_->close();  // the window going afterwards does not close the librarian again
  EXPECT_EQ(countInLog("Closing dialog..."), 1);
}

TEST_F(MainFrameTest, SavedPlacementIsRestoredFrameForFrame) {
  writeWholeFile(dir_ + "banklore.ini", "[General]\nPosX=100\nPosY=50\nWidth=700\nHeight=550\n");
  start();
  const WindowRect rect = frame_->windowRect();
  EXPECT_EQ(rect, (WindowRect{100, 50, 700, 550}));
}

TEST_F(MainFrameTest, PlacementOffEveryScreenIsIgnored) {
  writeWholeFile(dir_ + "banklore.ini",
                 "[General]\nPosX=-9000\nPosY=-9000\nWidth=-8400\nHeight=-8500\n");
  start();
  const WindowRect rect = frame_->windowRect();
  EXPECT_GT(rect.right, 0);
  EXPECT_GT(rect.width(), 300);
}

}  // namespace
}  // namespace banklore::testing
