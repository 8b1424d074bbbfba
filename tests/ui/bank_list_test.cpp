// One bank's list over its model: selection and focus as the librarian sets and reads them, and a
// 4,096-slot bank that stays cheap.
#include "ui/bank_list.h"

#include <QScrollBar>
#include <QTest>

#include "ui/support/ui_fixture.h"

namespace banklore::testing {
namespace {

class CountingRows : public BankRows {
 public:
  int rowCount(int) const override { return 4096; }
  std::string label(int, int row) const override { return ++reads, "B" + std::to_string(row); }
  std::string name(int, int) const override { return ++reads, "Name"; }
  mutable int reads = 0;
};

class BankListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model_.setSource(&rows_);
    model_.rebuild(4096);
    list_.resize(240, 300);
    list_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list_));
  }

  CountingRows rows_;
  BankTableModel model_{1};
  BankList list_{1, model_};
};

TEST_F(BankListTest, SelectionRoundTripsWithoutScrollingAndAFullBankReadsOnlyVisibleRows) {
  list_.selectRows({0, 1, 2, 9, 4000, 4095, 4096}, 4000);
  EXPECT_EQ(list_.selectedRowNumbers(), (std::vector<int>{0, 1, 2, 9, 4000, 4095}));
  EXPECT_EQ(list_.currentIndex().row(), 4000);
  EXPECT_EQ(list_.verticalScrollBar()->value(), 0);  // the librarian scrolls when it says so
  list_.selectRows({}, std::nullopt);
  EXPECT_TRUE(list_.selectedRowNumbers().empty());
  EXPECT_FALSE(list_.currentIndex().isValid());

  rows_.reads = 0;
  model_.rebuild(4096);
  std::vector<int> all(4096);
  for (int i = 0; i < 4096; ++i) all[static_cast<std::size_t>(i)] = i;
  list_.selectRows(all, 4095);
  list_.viewport()->repaint();
  EXPECT_EQ(list_.selectedRowNumbers().size(), 4096u);
  EXPECT_LT(rows_.reads, 200);  // uniform row heights: nothing measures the other rows
}

}  // namespace
}  // namespace banklore::testing
