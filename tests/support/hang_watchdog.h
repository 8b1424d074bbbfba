// Turns a test that hangs into one that says where: past its limit, every thread's stack is
// printed (through gdb, when the machine has it) and the process aborts, before ctest's own
// time-out would end it without a word. Declare it as a fixture's first member, so that it also
// watches the fixture's members being destroyed.
//
//   test::HangWatchdog watchdog_{std::chrono::seconds(240)};
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace banklore::test {

class HangWatchdog {
 public:
  explicit HangWatchdog(std::chrono::seconds limit)
      : thread_([this, limit] {
          std::unique_lock lock(mutex_);
          if (!done_.wait_for(lock, limit, [this] { return finished_; })) report(limit);
        }) {}
  ~HangWatchdog() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    done_.notify_all();
    thread_.join();
  }
  HangWatchdog(const HangWatchdog&) = delete;
  HangWatchdog& operator=(const HangWatchdog&) = delete;

 private:
  [[noreturn]] static void report(std::chrono::seconds limit) {
    std::fprintf(stderr, "\nThe test still runs after %lld s; the stacks of its threads:\n",
                 static_cast<long long>(limit.count()));
    std::fflush(nullptr);
    const std::string pid = std::to_string(getpid());
    const pid_t gdb = fork();
    if (gdb == 0) {
      dup2(STDERR_FILENO, STDOUT_FILENO);
      execlp("gdb", "gdb", "-batch", "-nx", "-p", pid.c_str(), "-ex", "thread apply all bt",
             nullptr);
      std::fprintf(stderr, "(gdb is not installed: no stacks)\n");
      _exit(127);
    }
    if (gdb > 0) waitpid(gdb, nullptr, 0);
    std::abort();
  }

  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;  // last: it uses the members above
};

}  // namespace banklore::test
