#include "ui/bank_table_model.h"

#include <algorithm>

#include "ui/display_text.h"

namespace banklore {

BankTableModel::BankTableModel(int bank, QObject* parent)
    : QAbstractTableModel(parent), bank_(bank) {}

void BankTableModel::rebuild(int rowCount) {
  beginResetModel();
  rows_ = rowCount < 0 ? 0 : rowCount;
  endResetModel();
}

void BankTableModel::refreshRow(int row) {
  refreshRows(row, row);
}

void BankTableModel::refreshRows(int first, int last) {
  first = std::max(first, 0);
  last = std::min(last, rows_ - 1);
  if (first > last) return;
  Q_EMIT dataChanged(index(first, LabelColumn), index(last, NameColumn), {Qt::DisplayRole});
}

int BankTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int BankTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant BankTableModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !source_ || !index.isValid() || index.row() >= rows_) {
    return {};
  }
  if (index.column() == LabelColumn) return nameText(source_->label(bank_, index.row()));
  if (index.column() == NameColumn) return nameText(source_->name(bank_, index.row()));
  return {};
}

QVariant BankTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::DisplayRole) {
    if (section == LabelColumn) return QStringLiteral("#");
    if (section == NameColumn) return QStringLiteral("Name");
  }
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags BankTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

}  // namespace banklore
