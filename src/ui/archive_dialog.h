// "Archive": the running instrument's archived patches, newest first, filtered by name as the user
// types. The selected patches go to the bank's selected slots or to a file, and one patch's history
// is shown on demand. The entries are read once when the dialog opens; each key filters them here.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <memory>
#include <vector>

#include "app/archive_browser.h"
#include "ui/find_box.h"

namespace banklore {

// The entries shown: row i is entries[shown[i]], read on demand so 100,000 rows cost one index
// each.
class ArchiveTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column {
    NameColumn,
    FirstSeenColumn,
    LastSeenColumn,
    TimesColumn,
    WhereColumn,
    ColumnCount
  };

  explicit ArchiveTableModel(const std::vector<ArchiveEntry>& entries, QObject* parent = nullptr);

  void show(std::vector<std::size_t> shown);
  const ArchiveEntry& entryAt(int row) const {
    return entries_[shown_[static_cast<std::size_t>(row)]];
  }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  const std::vector<ArchiveEntry>& entries_;
  std::vector<std::size_t> shown_;
};

class ArchiveDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ArchiveDialog(ArchiveBrowser& browser, QWidget* parent = nullptr);
  ~ArchiveDialog() override;

  FindBox& findBox() { return *find_; }
  QTableView& list() { return *list_; }
  ArchiveTableModel& model() { return *model_; }
  QPushButton& loadButton() { return *load_; }
  QPushButton& saveButton() { return *save_; }
  QPushButton& historyButton() { return *history_; }
  QListWidget& historyList() { return *events_; }
  // Says what goes into the archive; shown instead of the list while it is empty.
  QLabel& emptyText() { return *empty_; }

  // The ids of the selected rows, top to bottom.
  std::vector<std::int64_t> selectedIds() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void filter(const QString& text);
  void selectionChanged();
  void showHistory();
  void place();

  ArchiveBrowser& browser_;
  const std::vector<ArchiveEntry> entries_;
  std::unique_ptr<ArchiveTableModel> model_;
  std::unique_ptr<FindBox> find_;
  std::unique_ptr<QTableView> list_;
  std::unique_ptr<QLabel> empty_;
  std::unique_ptr<QLabel> eventsCaption_;
  std::unique_ptr<QListWidget> events_;
  std::unique_ptr<QPushButton> load_;
  std::unique_ptr<QPushButton> save_;
  std::unique_ptr<QPushButton> history_;
  std::unique_ptr<QPushButton> close_;
};

}  // namespace banklore
