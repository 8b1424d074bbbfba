// Tells the owner of a backend, on a thread of its own, that MIDI ports may have come or gone or
// the MIDI system went away. The system's own threads only wake it (a real-time thread must not
// run the owner's code); a backend that gets no word from its system has it poll instead.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "midi/callback_gate.h"

namespace banklore {

class ChangeNotifier {
 public:
  using Handler = std::function<void()>;
  // What the system lists, for a backend that polls: a change of it is told like a wake().
  using Poll = std::function<std::string()>;

  // Without `poll`, only wake() tells. With it, poll() runs every `period` while a handler is set.
  explicit ChangeNotifier(Poll poll = {},
                          std::chrono::milliseconds period = std::chrono::milliseconds(1000));
  // Stops the thread; a handler call in flight finishes first.
  ~ChangeNotifier();
  ChangeNotifier(const ChangeNotifier&) = delete;
  ChangeNotifier& operator=(const ChangeNotifier&) = delete;

  // After it returns the old handler is not running and never runs again (unless called from
  // inside it). An empty handler tells nobody.
  void setHandler(Handler handler);
  // Safe from any thread, a real-time one included: it only posts a semaphore. Wakes that come
  // before the thread got round to the last one are told once.
  void wake();

 private:
  void run();
  void tell();

  const Poll poll_;
  const std::chrono::milliseconds period_;
  sem_t wake_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> polling_{false};  // a handler is set
  std::atomic<bool> kicked_{false};   // setHandler woke the thread: no change to tell
  // The notifier thread's own: poll()'s last answer, and whether there was one since polling began.
  std::string listed_;
  bool primed_ = false;
  CallbackGate gate_;
  std::mutex handlerMutex_;  // serialises setHandler
  Handler handler_;          // changed only while the gate is closed
  std::thread thread_;       // last: starts once everything above exists
};

}  // namespace banklore
