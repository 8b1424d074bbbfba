#include "ui/bank_list.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <algorithm>

namespace banklore {

namespace {

constexpr int kLabelColumnMinimum = 40;

}  // namespace

BankList::BankList(int bank, BankTableModel& model, QWidget* parent)
    : QTableView(parent), bank_(bank), model_(model) {
  setModel(&model_);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  setShowGrid(false);
  setWordWrap(false);
  setTabKeyNavigation(false);
  setCornerButtonEnabled(false);
  setDragDropMode(QAbstractItemView::NoDragDrop);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);

  // Uniform rows without a row header keep thousands of slots cheap to lay out.
  QHeaderView* rowsHeader = verticalHeader();
  rowsHeader->hide();
  rowsHeader->setSectionResizeMode(QHeaderView::Fixed);
  rowsHeader->setDefaultSectionSize(fontMetrics().height() + 4);

  QHeaderView* columns = horizontalHeader();
  columns->setSectionsClickable(false);
  columns->setSortIndicatorShown(false);
  columns->setHighlightSections(false);
  columns->setSectionsMovable(false);
  columns->setStretchLastSection(true);
  columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  columns->setMinimumSectionSize(0);
  const int labelWidth =
      std::max(kLabelColumnMinimum, fontMetrics().horizontalAdvance(QStringLiteral("W0000")) + 8);
  setColumnWidth(BankTableModel::LabelColumn, labelWidth);

  // The selection stays as visible when the other list or a button has the focus.
  QPalette colours = palette();
  colours.setColor(QPalette::Inactive, QPalette::Highlight,
                   colours.color(QPalette::Active, QPalette::Highlight));
  colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   colours.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(colours);

  // Renamed, loaded or rebuilt rows are matched again.
  connect(&model_, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
            applyFilter(topLeft.row(), bottomRight.row());
          });
  connect(&model_, &QAbstractItemModel::modelReset, this, [this] {
    // The header keeps what it hid for the rows that are still there, and drops the others.
    hiddenRows_ = 0;
    for (int row = 0; row < model_.rowCount(); ++row) hiddenRows_ += isRowHidden(row) ? 1 : 0;
    applyFilter(0, model_.rowCount() - 1);
  });
}

void BankList::setNameFilter(const QString& text) {
  if (text == filter_) return;
  filter_ = text;
  applyFilter(0, model_.rowCount() - 1);
}

void BankList::applyFilter(int first, int last) {
  first = std::max(first, 0);
  last = std::min(last, model_.rowCount() - 1);
  // Without a filter nothing is hidden: an edit of the whole bank reads no names for it.
  if (first > last || (filter_.isEmpty() && hiddenRows_ == 0)) return;
  for (int row = first; row <= last; ++row) {
    const bool hide = !filter_.isEmpty() && !model_.index(row, BankTableModel::NameColumn)
                                                 .data()
                                                 .toString()
                                                 .contains(filter_, Qt::CaseInsensitive);
    if (hide == isRowHidden(row)) continue;  // only rows that change are touched
    setRowHidden(row, hide);
    hiddenRows_ += hide ? 1 : -1;
  }
}

void BankList::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
  if (filter_.isEmpty()) {
    QTableView::setSelection(rect, command);
    return;
  }
  const int top = rowAt(std::min(rect.top(), rect.bottom()));
  const int bottom = rowAt(std::max(rect.top(), rect.bottom()));
  if (top < 0 || bottom < 0) return;  // as Qt: a sweep must begin and end on rows
  QItemSelection selection;
  for (int row = top; row <= bottom; ++row) {
    if (isRowHidden(row)) continue;
    int last = row;
    while (last < bottom && !isRowHidden(last + 1)) ++last;
    selection.select(model_.index(row, 0), model_.index(last, BankTableModel::ColumnCount - 1));
    row = last;
  }
  selectionModel()->select(selection, command);
}

std::vector<int> BankList::selectedRowNumbers() const {
  std::vector<int> rows;
  const QItemSelection selection = selectionModel()->selection();
  for (const QItemSelectionRange& range : selection) {
    for (int row = range.top(); row <= range.bottom(); ++row) rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

void BankList::selectRows(const std::vector<int>& rows, std::optional<int> focusRow) {
  const int count = model_.rowCount();
  QItemSelection selection;
  // Runs of adjacent rows become one range, so selecting a whole bank is one range.
  std::size_t i = 0;
  while (i < rows.size()) {
    const int first = rows[i];
    int last = first;
    while (i + 1 < rows.size() && rows[i + 1] == last + 1) last = rows[++i];
    ++i;
    const int top = std::max(first, 0);
    const int bottom = std::min(last, count - 1);
    if (top <= bottom) {
      selection.select(model_.index(top, 0), model_.index(bottom, BankTableModel::ColumnCount - 1));
    }
  }
  // Cleared first: replacing one selection by another makes Qt compare every old range with every
  // new one, which took tens of milliseconds for a thousand scattered rows.
  selectionModel()->clearSelection();
  selectionModel()->select(selection, QItemSelectionModel::Select);
  // Moving the current row would scroll the list; the librarian scrolls only when it says so.
  const bool scrolls = hasAutoScroll();
  setAutoScroll(false);
  if (focusRow && *focusRow >= 0 && *focusRow < count) {
    selectionModel()->setCurrentIndex(model_.index(*focusRow, 0), QItemSelectionModel::NoUpdate);
  } else {
    selectionModel()->clearCurrentIndex();
  }
  setAutoScroll(scrolls);
}

void BankList::mousePressEvent(QMouseEvent* event) {
  const int before = currentIndex().row();
  QTableView::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) {
    Q_EMIT leftClicked(bank_);
    reportCursorMoveFrom(before);
  }
}

void BankList::mouseDoubleClickEvent(QMouseEvent* event) {
  QTableView::mouseDoubleClickEvent(event);
  const QModelIndex at = indexAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && at.isValid()) Q_EMIT rowDoubleClicked(bank_, at.row());
}

void BankList::keyPressEvent(QKeyEvent* event) {
  const int before = currentIndex().row();
  QTableView::keyPressEvent(event);
  reportCursorMoveFrom(before);
}

void BankList::reportCursorMoveFrom(int row) {
  const int now = currentIndex().row();
  if (now >= 0 && now != row) Q_EMIT cursorMoved(bank_, now);
}

void BankList::contextMenuEvent(QContextMenuEvent* event) {
  const bool fromPointer = event->reason() != QContextMenuEvent::Keyboard;
  const bool overRows = viewport()->rect().contains(viewport()->mapFromGlobal(event->globalPos()));
  Q_EMIT contextMenuWanted(bank_, fromPointer && overRows, event->globalPos());
  event->accept();
}

QStringList localFilePaths(const QMimeData* mime) {
  QStringList paths;
  if (!mime || !mime->hasUrls()) return paths;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile());
  }
  return paths;
}

namespace {

// Accepts a drag or drop that carries local files and ignores any other; the files' paths.
QStringList acceptLocalFiles(QDropEvent* event) {
  QStringList paths = localFilePaths(event->mimeData());
  if (paths.isEmpty()) {
    event->ignore();
  } else {
    event->acceptProposedAction();
  }
  return paths;
}

}  // namespace

void BankList::dragEnterEvent(QDragEnterEvent* event) {
  acceptLocalFiles(event);
}

void BankList::dragMoveEvent(QDragMoveEvent* event) {
  acceptLocalFiles(event);
}

void BankList::dropEvent(QDropEvent* event) {
  const QStringList paths = acceptLocalFiles(event);
  if (!paths.isEmpty()) Q_EMIT filesDropped(bank_, paths);
}

}  // namespace banklore
