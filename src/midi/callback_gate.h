// Lets a closing port wait for handler calls already running on a MIDI thread and refuse new ones,
// without holding a lock while the handler runs (so a handler may still call into the port).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace banklore {

class CallbackGate {
 public:
  // Starts closed.
  CallbackGate() = default;
  CallbackGate(const CallbackGate&) = delete;
  CallbackGate& operator=(const CallbackGate&) = delete;

  void open();
  // Refuses new calls and waits until the running ones have left. Called from inside a handler
  // of this gate, it waits for the others only, so it cannot deadlock on itself.
  void close();

  // RAII pass for one handler call; test `admitted()` before calling the handler.
  class Pass {
   public:
    explicit Pass(CallbackGate& gate);
    ~Pass();
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;
    bool admitted() const { return admitted_; }

   private:
    CallbackGate& gate_;
    bool admitted_;
    const CallbackGate* outer_;  // the gate this thread was inside before, if any
  };

 private:
  std::mutex mutex_;
  std::condition_variable idle_;
  std::size_t inFlight_ = 0;
  bool open_ = false;
};

}  // namespace banklore
