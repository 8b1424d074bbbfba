// The find box above a bank's list: the text the list's rows are filtered by. Escape in a box that
// holds text clears it, and only then: in an empty box Escape reaches the window (which closes).
// Return and Down hand the keys back to the list.
#pragma once

#include <QLineEdit>

namespace banklore {

class FindBox : public QLineEdit {
  Q_OBJECT

 public:
  explicit FindBox(QWidget* parent = nullptr);

 Q_SIGNALS:
  // Escape cleared the box.
  void cleared();
  // Return or Down: the user is done typing and goes on in the list.
  void leaveWanted();
  // The box lost the keyboard focus.
  void focusLost();

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
};

}  // namespace banklore
