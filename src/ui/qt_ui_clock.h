// The librarian's time on Qt's event loop: a monotonic millisecond clock, timers by identifier and
// the hop onto the UI thread.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "app/ui_clock.h"

namespace banklore {

class QtUiClock : public QObject, public UiClock {
  Q_OBJECT

 public:
  explicit QtUiClock(QObject* parent = nullptr);
  ~QtUiClock() override;

  std::uint32_t nowMs() const override;
  void startTimer(int id, std::uint32_t periodMs, bool repeating,
                  std::function<void()> onTick) override;
  void stopTimer(int id) override;
  void postToUiThread(std::function<void()> task) override;

  bool timerRunning(int id) const;

 private:
  struct Slot {
    std::unique_ptr<QTimer> timer;
    std::function<void()> onTick;
  };
  void tick(int id);

  QElapsedTimer started_;
  // Timers are kept, stopped, once created: a tick may stop or restart its own timer, and a timer
  // must not be destroyed while it is delivering.
  std::map<int, Slot> timers_;
};

}  // namespace banklore
