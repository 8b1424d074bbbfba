#include "ui/qt_ui_clock.h"

#include <QMetaObject>

namespace banklore {

QtUiClock::QtUiClock(QObject* parent) : QObject(parent) {
  started_.start();
}

QtUiClock::~QtUiClock() = default;

std::uint32_t QtUiClock::nowMs() const {
  // Wraps at 2^32 like the callers expect.
  return static_cast<std::uint32_t>(static_cast<quint64>(started_.elapsed()));
}

void QtUiClock::startTimer(int id, std::uint32_t periodMs, bool repeating,
                           std::function<void()> onTick) {
  Slot& slot = timers_[id];
  if (!slot.timer) {
    slot.timer = std::make_unique<QTimer>();
    slot.timer->setTimerType(Qt::PreciseTimer);
    connect(slot.timer.get(), &QTimer::timeout, this, [this, id] { tick(id); });
  }
  slot.timer->stop();
  slot.onTick = std::move(onTick);
  slot.timer->setSingleShot(!repeating);
  slot.timer->setInterval(static_cast<int>(std::min<std::uint32_t>(periodMs, 0x7fffffff)));
  slot.timer->start();
}

void QtUiClock::stopTimer(int id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  it->second.timer->stop();
  it->second.onTick = nullptr;
}

void QtUiClock::tick(int id) {
  auto it = timers_.find(id);
  if (it == timers_.end() || !it->second.onTick) return;
  // A one-shot timer is already stopped when its tick runs, and forgets its callback. The callback
  // runs from a copy: it may replace itself by restarting the timer.
  const std::function<void()> onTick = it->second.onTick;
  if (it->second.timer->isSingleShot()) it->second.onTick = nullptr;
  onTick();
}

bool QtUiClock::timerRunning(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second.timer->isActive();
}

void QtUiClock::postToUiThread(std::function<void()> task) {
  QMetaObject::invokeMethod(
      this, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

}  // namespace banklore
