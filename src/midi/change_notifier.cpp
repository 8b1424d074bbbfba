#include "midi/change_notifier.h"

#include <cerrno>
#include <ctime>

#include "midi/midi_result.h"

namespace banklore {
namespace {

timespec deadlineAfter(std::chrono::milliseconds wait) {
  timespec at{};
  clock_gettime(CLOCK_REALTIME, &at);
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
  at.tv_sec += static_cast<time_t>(ns / 1'000'000'000);
  at.tv_nsec += static_cast<long>(ns % 1'000'000'000);
  if (at.tv_nsec >= 1'000'000'000) {
    ++at.tv_sec;
    at.tv_nsec -= 1'000'000'000;
  }
  return at;
}

}  // namespace

ChangeNotifier::ChangeNotifier(Poll poll, std::chrono::milliseconds period)
    : poll_(std::move(poll)), period_(period) {
  sem_init(&wake_, 0, 0);
  thread_ = std::thread([this] { run(); });
}

ChangeNotifier::~ChangeNotifier() {
  gate_.close();
  stopping_.store(true, std::memory_order_release);
  sem_post(&wake_);
  thread_.join();
  sem_destroy(&wake_);
}

void ChangeNotifier::setHandler(Handler handler) {
  std::lock_guard lock(handlerMutex_);
  gate_.close();
  handler_ = std::move(handler);
  polling_.store(poll_ && handler_, std::memory_order_release);
  if (handler_) gate_.open();
  if (poll_) {
    // Into (or out of) polling at once; this wake is no change.
    kicked_.store(true, std::memory_order_release);
    sem_post(&wake_);
  }
}

void ChangeNotifier::wake() {
  sem_post(&wake_);
}

void ChangeNotifier::run() {
  for (;;) {
    bool woken = false;
    if (polling_.load(std::memory_order_acquire)) {
      const timespec at = deadlineAfter(period_);
      int result;
      while ((result = sem_timedwait(&wake_, &at)) != 0 && errno == EINTR) {
      }
      woken = result == 0;
    } else {
      while (sem_wait(&wake_) != 0 && errno == EINTR) {
      }
      woken = true;
    }
    if (stopping_.load(std::memory_order_acquire)) return;
    // Wakes that piled up meanwhile are one change.
    while (sem_trywait(&wake_) == 0) woken = true;
    if (kicked_.exchange(false, std::memory_order_acq_rel)) woken = false;
    if (stopping_.load(std::memory_order_acquire)) return;
    bool changed = woken;
    if (polling_.load(std::memory_order_acquire)) {
      std::string listed = poll_();
      // The first listing after a handler was set is where changes count from.
      changed = changed || (primed_ && listed != listed_);
      listed_ = std::move(listed);
      primed_ = true;
    } else {
      primed_ = false;
    }
    if (changed) tell();
  }
}

void ChangeNotifier::tell() {
  CallbackGate::Pass pass(gate_);
  if (!pass.admitted() || !handler_) return;
  try {
    handler_();
  } catch (...) {
    // An exception must not end the notifier's thread.
    LogMidiFailure("UNSPECIFIED");
  }
}

}  // namespace banklore
