#include "ui/move_dialog.h"

#include <QMessageBox>

#include "ui/dialog_units.h"
#include "ui/move_count.h"

namespace banklore {

MoveDialog::MoveDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      moveLabel_(std::make_unique<QLabel>(QStringLiteral("Move"), this)),
      edit_(std::make_unique<QLineEdit>(this)),
      entriesLabel_(std::make_unique<QLabel>(QStringLiteral("entries"), this)),
      ok_(std::make_unique<QPushButton>(QStringLiteral("&OK"), this)),
      cancel_(std::make_unique<QPushButton>(QStringLiteral("&Cancel"), this)) {
  setWindowTitle(QStringLiteral("Move..."));
  moveLabel_->setGeometry(dialogUnits(5, 5, 20, 14));
  edit_->setGeometry(dialogUnits(30, 5, 25, 14));
  entriesLabel_->setGeometry(dialogUnits(60, 5, 25, 14));
  ok_->setGeometry(dialogUnits(5, 25, 50, 14));
  cancel_->setGeometry(dialogUnits(60, 25, 50, 14));
  setFixedSize(dialogUnits(0, 0, 117, 46).size());
  setTabOrder(edit_.get(), ok_.get());
  setTabOrder(ok_.get(), cancel_.get());

  ok_->setDefault(true);
  connect(ok_.get(), &QPushButton::clicked, this, &MoveDialog::accept);
  connect(cancel_.get(), &QPushButton::clicked, this, &MoveDialog::reject);

  edit_->setText(QString::number(moveCount_));
  edit_->selectAll();
  edit_->setFocus(Qt::OtherFocusReason);
}

MoveDialog::~MoveDialog() = default;

void MoveDialog::accept() {
  const MoveCountResult result = parseMoveCount(edit_->text().toStdString());
  if (result.check != MoveCountCheck::Valid) {
    const QString text = QString::fromLatin1(
        result.check == MoveCountCheck::OutOfRange ? kOutOfRange : kNotAnInteger);
    Q_EMIT refused(text);
    QMessageBox::warning(this, QStringLiteral("Banklore"), text);
    edit_->setFocus(Qt::OtherFocusReason);
    edit_->selectAll();
    return;
  }
  moveCount_ = result.value;
  QDialog::accept();
}

}  // namespace banklore
