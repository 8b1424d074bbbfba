// The find boxes and the Edit menu as the user meets them: Ctrl+F, typing, Escape, sweeping a
// selection over a filtered list, and Ctrl+Z / Ctrl+Shift+Z.
#include <QAction>
#include <QMenu>
#include <QTest>

#include "ui/support/ui_fixture.h"

namespace banklore::testing {
namespace {

using V = std::vector<int>;

class FindBoxTest : public WindowTest {
 protected:
  // Names a few slots of a bank without making it unsaved, so closing asks nothing.
  void name(int bank, const std::vector<std::pair<int, const char*>>& names) {
    for (const auto& [slot, text] : names) {
      app_->bank(bank).slots[static_cast<std::size_t>(slot)].setName(text);
      app_->RefreshRow(bank, slot);
    }
  }
  V shownRows(int bank) {
    V rows;
    BankList& list = frame_.panel().list(bank);
    for (int row = 0; row < list.model()->rowCount(); ++row) {
      if (!list.isRowHidden(row)) rows.push_back(row);
    }
    return rows;
  }
  void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
  }
};

TEST_F(FindBoxTest, CtrlFFiltersTheActiveListAsYouTypeWhileCommandsKeepActingOnTheSelection) {
  start();
  name(0, {{3, "Bass One"}, {10, "Deep BASS"}, {20, "Lead"}, {30, "bassline"}});
  WindowPanel& panel = frame_.panel();
  const QRect classic = panel.list(0).geometry();
  frame_.setSelection(0, {3, 20}, 3);
  EXPECT_TRUE(panel.findBox(0).isHidden() && panel.findBox(1).isHidden());

  key(Qt::Key_F, Qt::ControlModifier);
  FindBox& box = panel.findBox(0);
  ASSERT_TRUE(box.isVisible());
  EXPECT_TRUE(box.hasFocus());
  EXPECT_TRUE(panel.findBox(1).isHidden()) << "only the active bank's";
  EXPECT_EQ(box.geometry().top(), classic.top());
  EXPECT_EQ(panel.list(0).geometry(), classic.adjusted(0, box.height(), 0, 0))
      << "the list gives the box its top";

  QTest::keyClicks(&box, "bAsS");
  EXPECT_EQ(shownRows(0), (V{3, 10, 30}));
  EXPECT_EQ(shownRows(1).size(), 256u);
  EXPECT_EQ(frame_.selectedRows(0), (V{3, 20})) << "a hidden row stays selected";
  key(Qt::Key_F5);  // Copy to other bank, from the box: the hidden slot 20 goes too
  EXPECT_EQ(app_->name(1, 0).substr(0, 8), "Bass One");
  EXPECT_EQ(app_->name(1, 1).substr(0, 4), "Lead");

  app_->RenameSlot(0, 10, "Pad", true);
  EXPECT_EQ(shownRows(0), (V{3, 30})) << "a renamed row is matched again";

  EXPECT_TRUE(panel.list(0).hasFocus()) << "as after every command";
  EXPECT_TRUE(box.isVisible()) << "it still holds text";
  QTest::mouseClick(&box, Qt::LeftButton);
  key(Qt::Key_Escape);
  EXPECT_FALSE(app_->closed()) << "Escape in a box with text only clears it";
  EXPECT_TRUE(box.text().isEmpty());
  EXPECT_TRUE(box.isHidden());
  EXPECT_TRUE(panel.list(0).hasFocus());
  EXPECT_EQ(shownRows(0).size(), 256u);
  EXPECT_EQ(panel.list(0).geometry(), classic);
  EXPECT_EQ(frame_.selectedRows(0), (V{3, 20}));
}

TEST_F(FindBoxTest, EscapeInAnEmptyBoxClosesTheWindowAsAnywhereElse) {
  start();
  frame_.panel().list(1).setFocus();
  key(Qt::Key_F2);  // Bank 2 active
  key(Qt::Key_F, Qt::ControlModifier);
  ASSERT_TRUE(frame_.panel().findBox(1).hasFocus());
  key(Qt::Key_Escape);
  EXPECT_TRUE(app_->closed());
}

TEST_F(FindBoxTest, ReturnGoesOnInTheListAndAnEmptyBoxGoesAwayWithTheFocus) {
  start();
  name(0, {{5, "Strings"}});
  WindowPanel& panel = frame_.panel();
  key(Qt::Key_F, Qt::ControlModifier);
  QTest::keyClicks(&panel.findBox(0), "str");
  key(Qt::Key_Return);
  EXPECT_TRUE(panel.list(0).hasFocus());
  EXPECT_TRUE(panel.findBox(0).isVisible()) << "it still filters";
  EXPECT_EQ(shownRows(0), V{5});
  EXPECT_FALSE(app_->closed()) << "Enter never closes";

  key(Qt::Key_F, Qt::ControlModifier);
  ASSERT_TRUE(panel.findBox(0).hasFocus());
  EXPECT_EQ(panel.findBox(0).selectedText(), QStringLiteral("str")) << "ready to be typed over";
  key(Qt::Key_Backspace);
  panel.list(1).setFocus();
  EXPECT_TRUE(panel.findBox(0).isHidden());
  EXPECT_EQ(shownRows(0).size(), 256u);
}

// Clicking row 0 and Shift+clicking row 9 selects the rows shown between them, not those the
// filter hides; without a filter every row between.
TEST_F(FindBoxTest, ASweptSelectionTakesInOnlyTheRowsShown) {
  start();
  for (int slot = 0; slot < 12; ++slot) name(0, {{slot, slot % 3 == 0 ? "keep" : "drop"}});
  BankList& list = frame_.panel().list(0);
  const auto click = [&list](int row, Qt::KeyboardModifiers modifiers) {
    QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers,
                      list.visualRect(list.model()->index(row, 1)).center());
  };
  for (const char* filter : {"KEEP", ""}) {
    SCOPED_TRACE(filter);
    list.setNameFilter(QString::fromLatin1(filter));
    click(0, Qt::NoModifier);
    click(9, Qt::ShiftModifier);
    const V swept = *filter ? V{0, 3, 6, 9} : V{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(list.selectedRowNumbers(), swept);
  }
  list.setNameFilter(QStringLiteral("keep"));
  click(3, Qt::NoModifier);
  list.setFocus();
  key(Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(list.selectedRowNumbers(), (V{3, 6})) << "the keyboard steps over hidden rows";
}

struct NamedRows : BankRows {
  int rowCount(int) const override { return static_cast<int>(names.size()); }
  std::string label(int, int row) const override { return std::to_string(row); }
  std::string name(int, int row) const override { return names[static_cast<std::size_t>(row)]; }
  std::vector<std::string> names;
};

// As after Change Instrument: the rows are rebuilt, fewer or more, and matched afresh.
TEST(BankListFilterTest, RebuiltRowsAreMatchedAfreshAndAllShowOnceTheFilterGoes) {
  NamedRows rows;
  BankTableModel model(0);
  model.setSource(&rows);
  BankList list(0, model);
  const auto shown = [&] {
    V all;
    for (int row = 0; row < model.rowCount(); ++row) {
      if (!list.isRowHidden(row)) all.push_back(row);
    }
    return all;
  };
  const auto rebuild = [&](std::vector<std::string> names) {
    rows.names = std::move(names);
    model.rebuild(static_cast<int>(rows.names.size()));
  };
  rebuild({"keep", "drop", "keep", "drop", "drop", "Keeper"});
  list.setNameFilter(QStringLiteral("KEEP"));
  EXPECT_EQ(shown(), (V{0, 2, 5}));
  rebuild({"drop", "keep", "drop"});
  EXPECT_EQ(shown(), V{1});
  rebuild({"drop", "keep", "drop", "keep", "keep", "drop", "drop"});
  EXPECT_EQ(shown(), (V{1, 3, 4}));
  list.setNameFilter(QString());
  EXPECT_EQ(shown().size(), 7u);
}

TEST_F(FindBoxTest, TheEditMenuNamesWhatCtrlZAndCtrlShiftZWouldDo) {
  start();
  name(0, {{1, "One"}, {2, "Two"}});
  const auto texts = [this] {
    frame_.fillEditMenu();
    std::vector<std::string> all;
    for (const QAction* action : frame_.editMenu().actions()) {
      if (!action->isSeparator())
        all.push_back((action->isEnabled() ? "" : "-") + action->text().toStdString());
    }
    return all;
  };
  EXPECT_EQ(texts(),
            (std::vector<std::string>{"-Undo\tCtrl+Z", "-Redo\tCtrl+Shift+Z", "Find...\tCtrl+F"}));
  frame_.setSelection(0, {1, 2}, 1);
  key(Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);  // Swap
  ASSERT_EQ(app_->name(0, 1).substr(0, 3), "Two");
  EXPECT_EQ(texts(), (std::vector<std::string>{"Undo Swap\tCtrl+Z", "-Redo\tCtrl+Shift+Z",
                                               "Find...\tCtrl+F"}));
  key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(app_->name(0, 1).substr(0, 3), "One");
  EXPECT_EQ(texts()[1], "Redo Swap\tCtrl+Shift+Z");
  key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(app_->name(0, 1).substr(0, 3), "Two");
  texts();                                         // as the menu opens
  frame_.editMenu().actions().front()->trigger();  // Undo from the menu
  EXPECT_EQ(app_->name(0, 1).substr(0, 3), "One");

  // In a find box Ctrl+Z is the box's own: it takes back typing, not an edit of the bank.
  key(Qt::Key_F, Qt::ControlModifier);
  QTest::keyClicks(QApplication::focusWidget(), "x");
  key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(app_->name(0, 1).substr(0, 3), "One");
}

}  // namespace
}  // namespace banklore::testing
