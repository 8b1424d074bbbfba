#include "ui/support/modal_script.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

namespace banklore::testing {

namespace {

constexpr int kPollMs = 5;
constexpr int kGiveUpPolls = 1000;  // five seconds

}  // namespace

ModalScript::ModalScript() : alive_(std::make_shared<bool>(true)) {
  poll();
}

ModalScript::~ModalScript() {
  *alive_ = false;
}

void ModalScript::poll() {
  // The next poll is armed before a step acts: the step may open a nested modal loop.
  std::weak_ptr<bool> alive = alive_;
  QTimer::singleShot(kPollMs, [this, alive] {
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
      return;
    }
    if (++idlePolls_ < kGiveUpPolls) return;
    // Nothing came: close whatever is open so the test fails instead of hanging.
    gaveUp_ = true;
    steps_.clear();
    if (auto* dialog = qobject_cast<QDialog*>(top)) {
      dialog->reject();
    } else if (top) {
      top->close();
    }
  });
}

}  // namespace banklore::testing
