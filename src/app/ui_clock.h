// Time as the librarian sees it: a millisecond clock, window-style timers and the one hop from
// other threads onto the UI thread. The UI implements it with its event loop; tests with a manual
// clock.
#pragma once

#include <cstdint>
#include <functional>

namespace banklore {

class UiClock {
 public:
  virtual ~UiClock() = default;

  // Milliseconds since an arbitrary start; wraps at 2^32 (compare with unsigned differences).
  virtual std::uint32_t nowMs() const = 0;

  // Starts timer `id` (replacing a running timer with the same id): `onTick` runs on the UI thread
  // every `periodMs`, or once when not `repeating` (a one-shot timer is stopped before its tick
  // runs).
  virtual void startTimer(int id, std::uint32_t periodMs, bool repeating,
                          std::function<void()> onTick) = 0;
  // Stops timer `id`; harmless when it is not running.
  virtual void stopTimer(int id) = 0;

  // Callable from any thread: runs `task` on the UI thread, soon, in the order posted.
  virtual void postToUiThread(std::function<void()> task) = 0;
};

}  // namespace banklore
