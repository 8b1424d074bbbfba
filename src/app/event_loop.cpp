#include "app/event_loop.h"

#include <utility>

namespace banklore {

EventLoop::EventLoop() : start_(Clock::now()) {}

std::uint32_t EventLoop::nowMs() const {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_);
  return static_cast<std::uint32_t>(elapsed.count());  // wraps, as callers expect
}

void EventLoop::startTimer(int id, std::uint32_t periodMs, bool repeating,
                           std::function<void()> onTick) {
  const std::chrono::milliseconds period(periodMs);
  timers_[id] = {Clock::now() + period, period, repeating, std::move(onTick)};
}

void EventLoop::stopTimer(int id) {
  timers_.erase(id);
}

void EventLoop::postToUiThread(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(task));
  }
  wake_.notify_one();
}

bool EventLoop::tickOneDueTimer() {
  const Clock::time_point now = Clock::now();
  auto due = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.due <= now && (due == timers_.end() || it->second.due < due->second.due))
      due = it;
  }
  if (due == timers_.end()) return false;
  // The tick runs from a copy: it may stop or restart its own timer.
  const std::function<void()> tick = due->second.onTick;
  if (due->second.repeating) {
    // A late repeating timer skips the ticks it missed rather than firing them in a burst.
    due->second.due = std::max(due->second.due + due->second.period, now);
  } else {
    timers_.erase(due);
  }
  tick();
  return true;
}

bool EventLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!done()) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      Clock::time_point wakeAt = deadline;
      for (const auto& [id, timer] : timers_) wakeAt = std::min(wakeAt, timer.due);
      wake_.wait_until(lock, wakeAt, [&] { return !posted_.empty() || Clock::now() >= wakeAt; });
      if (!posted_.empty()) {
        task = std::move(posted_.front());
        posted_.pop_front();
      }
    }
    if (task) {
      task();
    } else if (!tickOneDueTimer() && Clock::now() >= deadline) {
      return done();
    }
  }
  return true;
}

}  // namespace banklore
