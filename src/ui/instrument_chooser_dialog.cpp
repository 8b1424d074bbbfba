#include "ui/instrument_chooser_dialog.h"

#include <QMessageBox>

#include "platform/profile.h"
#include "ui/definition_sections.h"
#include "ui/dialog_units.h"
#include "ui/display_text.h"

namespace banklore {

namespace {

constexpr std::size_t kInstrumentCapacity = 2047;

}  // namespace

InstrumentChooserDialog::InstrumentChooserDialog(std::string definitionPath,
                                                 std::string settingsPath,
                                                 const std::string& runningInstrument,
                                                 QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      settingsPath_(std::move(settingsPath)),
      list_(std::make_unique<QListWidget>(this)),
      ok_(std::make_unique<QPushButton>(QStringLiteral("&OK"), this)),
      cancel_(std::make_unique<QPushButton>(QStringLiteral("&Cancel"), this)) {
  setWindowTitle(QStringLiteral("Choose Instrument..."));
  setFixedSize(dialogUnits(0, 0, 192, 146).size());
  list_->setGeometry(dialogUnits(5, 5, 180, 115));
  ok_->setGeometry(dialogUnits(135, 125, 50, 14));
  cancel_->setGeometry(dialogUnits(80, 125, 50, 14));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  setTabOrder(list_.get(), ok_.get());
  setTabOrder(ok_.get(), cancel_.get());
  ok_->setDefault(true);
  connect(ok_.get(), &QPushButton::clicked, this, &InstrumentChooserDialog::accept);
  connect(cancel_.get(), &QPushButton::clicked, this, &InstrumentChooserDialog::reject);

  std::vector<std::string> names = sectionHeadersOf(definitionPath);
  sortInstrumentNames(names);
  for (const std::string& name : names) list_->addItem(nameText(name));
  const std::string current =
      readText(settingsPath_, "General", "Instrument", runningInstrument, kInstrumentCapacity);
  if (!names.empty()) list_->setCurrentRow(preselectedInstrument(names, current));
  ok_->setEnabled(!names.empty());
  list_->setFocus(Qt::OtherFocusReason);
}

InstrumentChooserDialog::~InstrumentChooserDialog() = default;

void InstrumentChooserDialog::accept() {
  const QList<QListWidgetItem*> chosen = list_->selectedItems();
  if (chosen.isEmpty()) return;
  if (!writeText(settingsPath_, "General", "Instrument", nameBytes(chosen.front()->text()))) {
    // Reloading would bring back the old instrument: say so rather than pretend it changed.
    QMessageBox::warning(this, QStringLiteral("Banklore"),
                         QStringLiteral("The chosen instrument could not be saved to %1.")
                             .arg(pathText(settingsPath_)));
    QDialog::reject();
    return;
  }
  QDialog::accept();
}

}  // namespace banklore
