#include "ui/rename_dialog.h"

namespace banklore {

RenameDialog::RenameDialog(const QString& name, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      edit_(std::make_unique<QLineEdit>(name, this)) {
  // 60 x 12 dialog units, a little taller so the toolkit's edit frame fits the font.
  const int width = 120;
  const int height = std::max(24, edit_->sizeHint().height());
  setFixedSize(width, height);
  edit_->setGeometry(0, 0, width, height);
  // Enter accepts whatever the edit holds; there is no default button to press instead.
  connect(edit_.get(), &QLineEdit::returnPressed, this, &RenameDialog::accept);
  edit_->selectAll();
  edit_->setFocus(Qt::OtherFocusReason);
}

RenameDialog::~RenameDialog() = default;

}  // namespace banklore
