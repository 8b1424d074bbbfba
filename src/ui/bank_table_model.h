// The table model of one bank's list: row i is slot i, with the columns "#" (slot label) and
// "Name", both read from the librarian on demand so a 4,096-slot bank costs nothing to rebuild.
#pragma once

#include <QAbstractTableModel>

#include "app/bank_view.h"

namespace banklore {

class BankTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { LabelColumn = 0, NameColumn = 1, ColumnCount = 2 };

  explicit BankTableModel(int bank, QObject* parent = nullptr);

  // The librarian the rows are read from; none shows empty texts.
  void setSource(const BankRows* source) { source_ = source; }
  // Shows `rowCount` rows afresh (the count is kept here, so a bank being rebuilt behind the
  // model's back never makes it index past the end).
  void rebuild(int rowCount);
  // Re-reads both columns of one row: one dataChanged.
  void refreshRow(int row);
  // Re-reads both columns of rows first..last (cut to the rows shown): one dataChanged.
  void refreshRows(int first, int last);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  int bank_;
  int rows_ = 0;
  const BankRows* source_ = nullptr;
};

}  // namespace banklore
