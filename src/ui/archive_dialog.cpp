#include "ui/archive_dialog.h"

#include <QHeaderView>
#include <QResizeEvent>
#include <algorithm>

#include "ui/dialog_units.h"
#include "ui/display_text.h"

namespace banklore {

namespace {

constexpr const char* kEmptyText =
    "No patches archived yet.\n\n"
    "Every patch fetched from the instrument, loaded from a file, saved to one or sent to the "
    "instrument is kept here, with when and where it was seen. Fetch, load, save or send patches "
    "to fill it.";

// The space between the controls and around them.
constexpr int kGap = 5;

QString timeText(std::int64_t unixSeconds) {
  return QString::fromStdString(shortLocalTime(unixSeconds));
}

}  // namespace

ArchiveTableModel::ArchiveTableModel(const std::vector<ArchiveEntry>& entries, QObject* parent)
    : QAbstractTableModel(parent), entries_(entries) {}

void ArchiveTableModel::show(std::vector<std::size_t> shown) {
  beginResetModel();
  shown_ = std::move(shown);
  endResetModel();
}

int ArchiveTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int ArchiveTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant ArchiveTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const ArchiveEntry& entry = entryAt(index.row());
  if (role == Qt::ToolTipRole) return displayText(lastSeenText(entry));
  if (role == Qt::TextAlignmentRole && index.column() == TimesColumn) {
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case NameColumn:
      return nameText(entry.name);
    case FirstSeenColumn:
      return timeText(entry.firstSeen);
    case LastSeenColumn:
      return timeText(entry.lastSeen);
    case TimesColumn:
      return QString::number(entry.timesSeen);
    case WhereColumn:
      return displayText(entry.lastEvent);
    default:
      return {};
  }
}

QVariant ArchiveTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::DisplayRole) {
    static const char* const titles[] = {"Name", "First seen", "Last seen", "Times", "Where last"};
    if (section >= 0 && section < ColumnCount) return QString::fromLatin1(titles[section]);
  }
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags ArchiveTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

ArchiveDialog::ArchiveDialog(ArchiveBrowser& browser, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      browser_(browser),
      entries_(browser.entries()),
      model_(std::make_unique<ArchiveTableModel>(entries_, this)),
      find_(std::make_unique<FindBox>(this)),
      list_(std::make_unique<QTableView>(this)),
      empty_(std::make_unique<QLabel>(QString::fromLatin1(kEmptyText), this)),
      eventsCaption_(std::make_unique<QLabel>(this)),
      events_(std::make_unique<QListWidget>(this)),
      load_(std::make_unique<QPushButton>(QStringLiteral("&Load to selected slots"), this)),
      save_(std::make_unique<QPushButton>(QStringLiteral("&Save to file..."), this)),
      history_(std::make_unique<QPushButton>(QStringLiteral("&History"), this)),
      close_(std::make_unique<QPushButton>(QStringLiteral("Close"), this)) {
  setWindowTitle(QStringLiteral("Archive"));
  setSizeGripEnabled(true);
  setMinimumSize(dialogUnits(0, 0, 280, 160).size());
  resize(dialogUnits(0, 0, 360, 240).size());

  model_->show(matchingEntries(entries_, {}));
  list_->setModel(model_.get());
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setShowGrid(false);
  list_->setWordWrap(false);
  list_->setTabKeyNavigation(false);
  list_->setCornerButtonEnabled(false);
  // Uniform rows without a row header keep 100,000 entries cheap to lay out.
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  QHeaderView& columns = *list_->horizontalHeader();
  columns.setSectionsClickable(false);
  columns.setHighlightSections(false);
  columns.setStretchLastSection(true);
  columns.setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  const int timeWidth = fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00")) + 16;
  list_->setColumnWidth(ArchiveTableModel::NameColumn, dialogUnits(0, 0, 80, 0).width());
  list_->setColumnWidth(ArchiveTableModel::FirstSeenColumn, timeWidth);
  list_->setColumnWidth(ArchiveTableModel::LastSeenColumn, timeWidth);
  list_->setColumnWidth(ArchiveTableModel::TimesColumn, dialogUnits(0, 0, 25, 0).width());

  empty_->setWordWrap(true);
  empty_->setAlignment(Qt::AlignCenter);
  const bool none = entries_.empty();
  empty_->setVisible(none);
  list_->setVisible(!none);
  find_->setEnabled(!none);
  eventsCaption_->hide();
  events_->hide();

  // No button is the default: Return in the find box goes on to the list, and in the list it must
  // not load patches by accident.
  for (QPushButton* button : {load_.get(), save_.get(), history_.get(), close_.get()}) {
    button->setAutoDefault(false);
  }
  setTabOrder(find_.get(), list_.get());
  setTabOrder(list_.get(), load_.get());
  setTabOrder(load_.get(), save_.get());
  setTabOrder(save_.get(), history_.get());
  setTabOrder(history_.get(), close_.get());

  connect(find_.get(), &QLineEdit::textChanged, this, &ArchiveDialog::filter);
  connect(find_.get(), &FindBox::leaveWanted, this, [this] {
    list_->setFocus(Qt::OtherFocusReason);
    // Selected, not just current: the buttons act on the selection.
    if (!list_->selectionModel()->hasSelection() && model_->rowCount() > 0) list_->selectRow(0);
  });
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &ArchiveDialog::selectionChanged);
  connect(model_.get(), &QAbstractItemModel::modelReset, this, &ArchiveDialog::selectionChanged);
  connect(load_.get(), &QPushButton::clicked, this,
          [this] { browser_.loadToSelectedSlots(selectedIds()); });
  connect(save_.get(), &QPushButton::clicked, this, [this] { browser_.saveToFile(selectedIds()); });
  connect(history_.get(), &QPushButton::clicked, this, &ArchiveDialog::showHistory);
  connect(close_.get(), &QPushButton::clicked, this, &ArchiveDialog::reject);

  selectionChanged();
  place();
  if (none) {
    close_->setFocus(Qt::OtherFocusReason);
  } else {
    find_->setFocus(Qt::OtherFocusReason);
  }
}

ArchiveDialog::~ArchiveDialog() = default;

std::vector<std::int64_t> ArchiveDialog::selectedIds() const {
  QModelIndexList rows = list_->selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<std::int64_t> ids;
  ids.reserve(static_cast<std::size_t>(rows.size()));
  for (const QModelIndex& row : rows) ids.push_back(model_->entryAt(row.row()).id);
  return ids;
}

void ArchiveDialog::filter(const QString& text) {
  model_->show(matchingEntries(entries_, nameBytes(text)));
}

void ArchiveDialog::selectionChanged() {
  const qsizetype selected = list_->selectionModel()->selectedRows().size();
  load_->setEnabled(selected > 0);
  save_->setEnabled(selected > 0);
  history_->setEnabled(selected == 1);
}

void ArchiveDialog::showHistory() {
  const QModelIndexList rows = list_->selectionModel()->selectedRows();
  if (rows.size() != 1) return;
  const ArchiveEntry& entry = model_->entryAt(rows.front().row());
  QStringList lines;
  for (const ArchiveEvent& event : browser_.history(entry.id)) {
    lines << QStringLiteral("%1   %2   as %3")
                 .arg(timeText(event.time), displayText(event.what), nameText(event.name));
  }
  eventsCaption_->setText(QStringLiteral("History of %1:").arg(nameText(entry.name)));
  events_->clear();
  events_->addItems(lines);
  const bool wasHidden = events_->isHidden();
  eventsCaption_->show();
  events_->show();
  if (wasHidden) place();
}

void ArchiveDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  place();
}

// Find box on top, buttons at the bottom, the list (or the empty archive's text) between them,
// with the history under the list once it is asked for.
void ArchiveDialog::place() {
  const int w = width() / kPixelsPerDialogUnit;
  const int h = height() / kPixelsPerDialogUnit;
  find_->setGeometry(dialogUnits(kGap, kGap, w - 2 * kGap, 12));
  const int buttonsTop = h - kGap - 14;
  load_->setGeometry(dialogUnits(kGap, buttonsTop, 90, 14));
  save_->setGeometry(dialogUnits(kGap + 95, buttonsTop, 60, 14));
  history_->setGeometry(dialogUnits(kGap + 160, buttonsTop, 50, 14));
  close_->setGeometry(dialogUnits(w - kGap - 50, buttonsTop, 50, 14));
  int listBottom = buttonsTop - kGap;
  if (!events_->isHidden()) {
    const int eventsHeight = std::clamp((listBottom - 22) / 3, 30, 80);
    events_->setGeometry(dialogUnits(kGap, listBottom - eventsHeight, w - 2 * kGap, eventsHeight));
    eventsCaption_->setGeometry(
        dialogUnits(kGap, listBottom - eventsHeight - 12, w - 2 * kGap, 12));
    listBottom -= eventsHeight + 14;
  }
  const QRect listRect = dialogUnits(kGap, 22, w - 2 * kGap, listBottom - 22);
  list_->setGeometry(listRect);
  empty_->setGeometry(listRect);
}

}  // namespace banklore
