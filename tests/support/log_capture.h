// Sends the debug log into a pipe for a while, for a test that runs in a child process: a pipe
// takes lines where a file would not (past a file-size limit, in a folder the child cannot write).
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "platform/debug_log.h"

namespace banklore::test {

class LogCapture {
 public:
  // Holds what is logged from now on (up to the pipe's buffer, some 64 KiB).
  LogCapture() : previous_(LogPath()) {
    if (::pipe(pipe_) == 0) SetLogPath("/dev/fd/" + std::to_string(pipe_[1]));
  }
  ~LogCapture() {
    if (pipe_[1] >= 0) SetLogPath(previous_);
    for (int fd : pipe_) {
      if (fd >= 0) ::close(fd);
    }
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // What was logged so far; the log goes back where it went before.
  std::string text() {
    if (pipe_[1] < 0) return {};
    SetLogPath(previous_);
    ::close(pipe_[1]);
    pipe_[1] = -1;
    std::string text;
    char block[4096];
    for (ssize_t got; (got = ::read(pipe_[0], block, sizeof block)) > 0;) {
      text.append(block, static_cast<std::size_t>(got));
    }
    return text;
  }

 private:
  std::string previous_;
  int pipe_[2] = {-1, -1};
};

}  // namespace banklore::test
