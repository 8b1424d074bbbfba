// The find boxes and the Edit menu as the user meets them: Ctrl+F, typing, Return, Escape, and
// Ctrl+Z / Ctrl+Shift+Z.
#include <QAction>
#include <QMenu>
#include <QTest>

#include "ui/support/ui_fixture.h"

namespace banklore::testing {
namespace {

using V = std::vector<int>;

V shownRows(const BankList& list) {
  V rows;
  for (int row = 0; row < list.model()->rowCount(); ++row) {
    if (!list.isRowHidden(row)) rows.push_back(row);
  }
  return rows;
}

class FindBoxTest : public WindowTest {
 protected:
  // Names a few slots of a bank without making it unsaved, so closing asks nothing.
  void name(int bank, const std::vector<std::pair<int, const char*>>& names) {
    for (const auto& [slot, text] : names) {
      app_->bank(bank).slots[static_cast<std::size_t>(slot)].setName(text);
      app_->RefreshRow(bank, slot);
    }
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
  key(Qt::Key_F, Qt::ControlModifier);
  FindBox& box = panel.findBox(0);
  ASSERT_TRUE(box.isVisible() && box.hasFocus());
  EXPECT_TRUE(panel.findBox(1).isHidden()) << "only the active bank's";
  EXPECT_EQ(panel.list(0).geometry(), classic.adjusted(0, box.height(), 0, 0))
      << "the list gives the box its top";
  QTest::keyClicks(&box, "bAsS");
  EXPECT_EQ(std::pair(shownRows(panel.list(0)), shownRows(panel.list(1)).size()),
            std::pair(V{3, 10, 30}, 256ul));
  EXPECT_EQ(frame_.selectedRows(0), (V{3, 20})) << "a hidden row stays selected";
  key(Qt::Key_F5);  // Copy to other bank, from the box: the hidden slot 20 goes too
  EXPECT_EQ(app_->name(1, 1).substr(0, 4), "Lead");
  EXPECT_TRUE(panel.list(0).hasFocus() && box.isVisible()) << "as after every command";

  key(Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(box.selectedText(), QStringLiteral("bAsS")) << "ready to be typed over";
  key(Qt::Key_Escape);
  EXPECT_FALSE(app_->closed()) << "Escape in a box with text only clears it";
  EXPECT_TRUE(box.text().isEmpty() && box.isHidden() && panel.list(0).hasFocus());
  EXPECT_EQ(panel.list(0).geometry(), classic);
  EXPECT_EQ(shownRows(panel.list(0)).size(), 256u);
  for (int b = 0; b < 2; ++b) app_->bank(b).unsaved.assign(256, false);  // closing asks nothing
  key(Qt::Key_F, Qt::ControlModifier);
  key(Qt::Key_Escape);
  EXPECT_TRUE(app_->closed()) << "Escape in an empty box closes the window as anywhere else";
}

// The Edit menu shows what the librarian offers and undoes from there; its keys reach undo and redo
// (main_frame_test.cpp), except in a find box, where Ctrl+Z is the box's own.
TEST_F(FindBoxTest, TheEditMenuShowsTheLibrariansStepsAndAFindBoxKeepsItsKeys) {
  start();
  name(0, {{1, "One"}, {2, "Two"}});
  frame_.setSelection(0, {1, 2}, 1);
  key(Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);  // Swap
  frame_.fillEditMenu();                                  // as the menu opens
  std::vector<std::pair<std::string, bool>> shown, offered;
  for (const QAction* action : frame_.editMenu().actions()) {
    if (!action->isSeparator())
      shown.emplace_back(action->text().toStdString(), action->isEnabled());
  }
  for (const EditMenuEntry& entry : app_->editMenu())
    offered.emplace_back(entry.text, entry.enabled);
  offered.emplace_back("Find...\tCtrl+F", true);
  EXPECT_EQ(shown, offered);
  const auto first = [this] { return app_->name(0, 1).substr(0, 3); };
  ASSERT_EQ(first(), "Two");
  frame_.editMenu().actions().front()->trigger();  // Undo
  EXPECT_EQ(first(), "One");
  key(Qt::Key_F, Qt::ControlModifier);
  QTest::keyClicks(QApplication::focusWidget(), "x");
  key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(first(), "One");
}

}  // namespace
}  // namespace banklore::testing
