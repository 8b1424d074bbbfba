#include "ui/bank_list.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QHeaderView>
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
  QTableView::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) Q_EMIT leftClicked(bank_);
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
