// Ends a child process the way a user would, and never waits for it for good: a child that
// ignores SIGTERM (a JACK client stuck in libjack) is killed after a while, so the test goes on
// and says so instead of hanging until ctest gives up.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace banklore::test {

struct ProcessEnd {
  bool byItself = false;  // it ended on SIGTERM within the time given
  int status = 0;         // waitpid's status
};

inline ProcessEnd terminateWithin(pid_t pid, std::chrono::milliseconds limit) {
  ProcessEnd end;
  if (pid <= 0) return end;
  kill(pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &end.status, WNOHANG) == pid) {
      end.byItself = true;
      return end;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &end.status, 0);
  return end;
}

}  // namespace banklore::test
