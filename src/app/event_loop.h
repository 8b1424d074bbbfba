// Time for programs and tests without a window toolkit: a UiClock whose timers and posted tasks run
// on the thread that calls runUntil, which sleeps in between. Tasks may be posted from any thread;
// everything else is called on the loop's own thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "app/ui_clock.h"

namespace banklore {

class EventLoop : public UiClock {
 public:
  EventLoop();

  std::uint32_t nowMs() const override;
  void startTimer(int id, std::uint32_t periodMs, bool repeating,
                  std::function<void()> onTick) override;
  void stopTimer(int id) override;
  void postToUiThread(std::function<void()> task) override;

  // Runs posted tasks (in order) and due timer ticks until `done` holds, checked before waiting and
  // after every task and tick, or until `timeout` has passed. Returns whether `done` held.
  bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

 private:
  using Clock = std::chrono::steady_clock;
  struct Timer {
    Clock::time_point due;
    std::chrono::milliseconds period;
    bool repeating;
    std::function<void()> onTick;
  };
  // Runs one due timer tick; false when none is due.
  bool tickOneDueTimer();

  const Clock::time_point start_;
  std::map<int, Timer> timers_;  // loop thread only
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> posted_;
};

}  // namespace banklore
