#include "ui/support/modal_script.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

namespace banklore::testing {

void ModalScript::poll() {
  // The next poll is armed before a step acts: the step may open a nested modal loop.
  QTimer::singleShot(5, [this, alive = std::weak_ptr<bool>(alive_)] {
    if (alive.expired() || !*alive.lock()) return;
    poll();
    QWidget* top = QApplication::activePopupWidget();
    if (!top) top = QApplication::activeModalWidget();
    if (steps_.empty()) return;
    if (top && steps_.front().matches(top)) {
      idlePolls_ = 0;
      const Step step = steps_.front();
      steps_.pop_front();
      step.act(top);
    } else if (++idlePolls_ > 1000 && top) {
      // Five seconds without the awaited widget: close what is open so the test fails, not hangs.
      if (auto* dialog = qobject_cast<QDialog*>(top)) dialog->reject();
      top->close();
    }
  });
}

}  // namespace banklore::testing
