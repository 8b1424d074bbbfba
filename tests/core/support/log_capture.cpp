#include "core/support/log_capture.h"

#include <unistd.h>

#include <cstdio>

#include "platform/debug_log.h"

namespace banklore::testing {

LogCapture::LogCapture()
    : path_(std::string(BANKLORE_TEST_TMPDIR) + "/core-log-" + std::to_string(getpid()) + ".txt"),
      previous_(LogPath()) {
  std::remove(path_.c_str());
  SetLogPath(path_);
}

LogCapture::~LogCapture() {
  SetLogPath(previous_);
  std::remove(path_.c_str());
}

std::string LogCapture::text() const {
  std::string content;
  if (std::FILE* file = std::fopen(path_.c_str(), "rb")) {
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, got);
    std::fclose(file);
  }
  return content;
}

}  // namespace banklore::testing
