#include "midi/callback_gate.h"

namespace banklore {
namespace {

// The gate whose handler the current thread is running, so close() from inside it skips itself.
thread_local const CallbackGate* t_insideGate = nullptr;

}  // namespace

void CallbackGate::open() {
  std::lock_guard lock(mutex_);
  open_ = true;
}

void CallbackGate::close() {
  std::unique_lock lock(mutex_);
  open_ = false;
  const std::size_t own = t_insideGate == this ? 1 : 0;
  idle_.wait(lock, [&] { return inFlight_ <= own; });
}

CallbackGate::Pass::Pass(CallbackGate& gate) : gate_(gate), outer_(t_insideGate) {
  std::lock_guard lock(gate_.mutex_);
  admitted_ = gate_.open_;
  if (admitted_) {
    ++gate_.inFlight_;
    t_insideGate = &gate_;
  }
}

CallbackGate::Pass::~Pass() {
  if (!admitted_) return;
  t_insideGate = outer_;
  std::lock_guard lock(gate_.mutex_);
  --gate_.inFlight_;
  gate_.idle_.notify_all();
}

}  // namespace banklore
