// One bank's list: a table of slot label and name with multiple full-row selection that stays
// visible without focus. It reports left clicks, context-menu requests and dropped files; the
// window decides what they mean. A name filter hides the rows whose names do not contain its text;
// the selection is the slots' own and the filter never changes it: a hidden row stays selected,
// and commands act on it as on a shown one.
#pragma once

#include <QStringList>
#include <QTableView>
#include <optional>
#include <vector>

#include "ui/bank_table_model.h"

namespace banklore {

class BankList : public QTableView {
  Q_OBJECT

 public:
  BankList(int bank, BankTableModel& model, QWidget* parent = nullptr);

  int bank() const { return bank_; }
  // Selected rows, ascending.
  std::vector<int> selectedRowNumbers() const;
  // Exactly `rows` selected; `focusRow` becomes the current row (none: no current row). Does not
  // scroll: scrolling is asked for separately.
  void selectRows(const std::vector<int>& rows, std::optional<int> focusRow);

  // Shows only the rows whose name contains `text`, ignoring case (empty: every row). Rows are
  // shown or hidden again as their names change.
  void setNameFilter(const QString& text);
  const QString& nameFilter() const { return filter_; }

 Q_SIGNALS:
  void leftClicked(int bank);
  // `overList` is false when the request did not come from a position over the rows (for example
  // from the keyboard).
  void contextMenuWanted(int bank, bool overList, QPoint globalPos);
  void filesDropped(int bank, const QStringList& localPaths);
  void rowDoubleClicked(int bank, int row);
  // The user moved the current row, by key or click; a move the program makes is not reported.
  void cursorMoved(int bank, int row);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // A range the user sweeps with Shift or the mouse takes in the rows shown, not those the filter
  // hides between them.
  void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;

 private:
  // Shows or hides rows first..last by the filter.
  void applyFilter(int first, int last);
  void reportCursorMoveFrom(int row);

  int bank_;
  BankTableModel& model_;
  QString filter_;
  int hiddenRows_ = 0;
};

// The local file paths a drag carries, in order; empty when it carries none.
QStringList localFilePaths(const QMimeData* mime);

}  // namespace banklore
