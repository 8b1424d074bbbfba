// One bank's list over its model: selection and focus as the librarian sets and reads them, cheap
// row refreshes and a 4,096-slot bank.
#include "ui/bank_list.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "ui/support/ui_fixture.h"

namespace banklore::testing {
namespace {

class CountingRows : public BankRows {
 public:
  int rowCount(int) const override { return rows; }
  std::string label(int bank, int row) const override {
    ++reads;
    return (bank == 0 ? "A" : "B") + std::to_string(row);
  }
  std::string name(int, int row) const override {
    ++reads;
    return row == 2 ? renamed : "Name " + std::to_string(row);
  }
  int rows = 4096;
  std::string renamed = "Before";
  mutable int reads = 0;
};

class BankListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model_.setSource(&rows_);
    model_.rebuild(rows_.rows);
    list_.resize(240, 300);
    list_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list_));
  }

  CountingRows rows_;
  BankTableModel model_{1};
  BankList list_{1, model_};
};

TEST_F(BankListTest, ShowsLabelAndNameFromTheLibrarian) {
  EXPECT_EQ(model_.data(model_.index(4095, 0)).toString(), QStringLiteral("B4095"));
  EXPECT_EQ(model_.data(model_.index(7, 1)).toString(), QStringLiteral("Name 7"));
  EXPECT_FALSE(model_.data(model_.index(4096, 0)).isValid());
  EXPECT_FALSE(model_.flags(model_.index(1, 1)).testFlag(Qt::ItemIsEditable));
}

TEST_F(BankListTest, RefreshingARowIsOneChangeCoveringBothColumns) {
  QSignalSpy changes(&model_, &QAbstractItemModel::dataChanged);
  rows_.renamed = "After";
  model_.refreshRow(2);
  ASSERT_EQ(changes.count(), 1);
  EXPECT_EQ(changes[0][0].toModelIndex(), model_.index(2, 0));
  EXPECT_EQ(changes[0][1].toModelIndex(), model_.index(2, 1));
  EXPECT_EQ(model_.data(model_.index(2, 1)).toString(), QStringLiteral("After"));
  model_.refreshRow(4096);  // outside the bank: nothing
  model_.refreshRow(-1);
  EXPECT_EQ(changes.count(), 1);
}

TEST_F(BankListTest, SelectionAndFocusRoundTrip) {
  list_.selectRows({0, 1, 2, 9, 4095}, 9);
  EXPECT_EQ(list_.selectedRowNumbers(), (std::vector<int>{0, 1, 2, 9, 4095}));
  EXPECT_EQ(list_.currentIndex().row(), 9);
  list_.selectRows({}, std::nullopt);
  EXPECT_TRUE(list_.selectedRowNumbers().empty());
  EXPECT_FALSE(list_.currentIndex().isValid());
  // Rows past the end are never selected.
  list_.selectRows({4094, 4095, 4096, 5000}, 5000);
  EXPECT_EQ(list_.selectedRowNumbers(), (std::vector<int>{4094, 4095}));
}

TEST_F(BankListTest, SettingTheFocusRowDoesNotScroll) {
  list_.selectRows({4000}, 4000);
  EXPECT_EQ(list_.verticalScrollBar()->value(), 0);
  list_.scrollTo(model_.index(4000, 0));
  EXPECT_GT(list_.verticalScrollBar()->value(), 0);
}

TEST_F(BankListTest, ShiftAndControlClicksExtendTheSelection) {
  const auto click = [&](int row, Qt::KeyboardModifiers modifiers) {
    QTest::mouseClick(list_.viewport(), Qt::LeftButton, modifiers,
                      list_.visualRect(model_.index(row, 1)).center());
  };
  QSignalSpy clicks(&list_, &BankList::leftClicked);
  click(1, Qt::NoModifier);
  click(3, Qt::ShiftModifier);
  click(6, Qt::ControlModifier);
  EXPECT_EQ(list_.selectedRowNumbers(), (std::vector<int>{1, 2, 3, 6}));
  EXPECT_EQ(clicks.count(), 3);
  EXPECT_EQ(clicks[0][0].toInt(), 1);
}

TEST_F(BankListTest, HeadersCannotSortAndTheSelectionShowsWithoutFocus) {
  EXPECT_FALSE(list_.horizontalHeader()->sectionsClickable());
  EXPECT_FALSE(list_.isSortingEnabled());
  EXPECT_TRUE(list_.horizontalHeader()->stretchLastSection());
  EXPECT_EQ(list_.selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(list_.selectionBehavior(), QAbstractItemView::SelectRows);
  const QPalette& colours = list_.palette();
  EXPECT_EQ(colours.color(QPalette::Inactive, QPalette::Highlight),
            colours.color(QPalette::Active, QPalette::Highlight));
  EXPECT_EQ(colours.color(QPalette::Inactive, QPalette::HighlightedText),
            colours.color(QPalette::Active, QPalette::HighlightedText));
}

TEST_F(BankListTest, AFullBankRebuildsAndSelectsWithoutReadingEveryRow) {
  rows_.reads = 0;
  QElapsedTimer timer;
  timer.start();
  model_.rebuild(4096);
  std::vector<int> all(4096);
  for (int i = 0; i < 4096; ++i) all[static_cast<std::size_t>(i)] = i;
  list_.selectRows(all, 4095);
  EXPECT_EQ(list_.selectedRowNumbers().size(), 4096u);
  list_.viewport()->repaint();
  // Only the visible rows are read: uniform row heights need no measuring of the others.
  EXPECT_LT(rows_.reads, 200);
  RecordProperty("rebuild_select_repaint_ms", static_cast<int>(timer.elapsed()));
}

}  // namespace
}  // namespace banklore::testing
