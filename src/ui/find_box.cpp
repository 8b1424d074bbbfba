#include "ui/find_box.h"

#include <QKeyEvent>

namespace banklore {

namespace {

bool isPlainKey(const QKeyEvent* key, Qt::Key which) {
  return key->key() == which && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

}  // namespace

FindBox::FindBox(QWidget* parent) : QLineEdit(parent) {
  setPlaceholderText(QStringLiteral("Find"));
  setClearButtonEnabled(true);
}

bool FindBox::event(QEvent* event) {
  // Escape is the window's shortcut for closing; a box with text takes it for itself first.
  if (event->type() == QEvent::ShortcutOverride) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (isPlainKey(key, Qt::Key_Escape) && !text().isEmpty()) {
      event->accept();
      return true;
    }
  }
  return QLineEdit::event(event);
}

void FindBox::keyPressEvent(QKeyEvent* event) {
  if (isPlainKey(event, Qt::Key_Escape) && !text().isEmpty()) {
    clear();
    Q_EMIT cleared();
    event->accept();
    return;
  }
  if (isPlainKey(event, Qt::Key_Return) || isPlainKey(event, Qt::Key_Enter) ||
      isPlainKey(event, Qt::Key_Down)) {
    Q_EMIT leaveWanted();
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void FindBox::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  Q_EMIT focusLost();
}

}  // namespace banklore
