// One bank's list over its model: a 4,096-slot bank selected whole stays cheap, reading only the
// rows in view.
#include "ui/bank_list.h"

#include <QScrollBar>
#include <QTest>
#include <numeric>

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

TEST(BankListTest, SelectingAFullBankReadsOnlyVisibleRowsAndStaysInTheBank) {
  CountingRows rows;
  BankTableModel model(1);
  model.setSource(&rows);
  model.rebuild(4096);
  BankList list(1, model);
  list.resize(240, 300);
  list.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
  rows.reads = 0;
  model.rebuild(4096);  // as the librarian does when a bank is loaded
  std::vector<int> all(4098);
  std::iota(all.begin(), all.end(), -1);  // -1 and 4096 lie outside
  list.selectRows(all, 4000);
  list.viewport()->repaint();
  EXPECT_EQ(std::tuple(list.selectedRowNumbers().size(), list.selectedRowNumbers().back(),
                       list.currentIndex().row(), list.verticalScrollBar()->value()),
            std::tuple(4096u, 4095, 4000, 0))
      << "the librarian scrolls when it says so";
  EXPECT_LT(rows.reads, 200);  // uniform row heights: nothing measures the other rows
}

}  // namespace
}  // namespace banklore::testing
