// Points the debug log at a fresh temporary file for one test and reads back what was written.
#pragma once

#include <string>

namespace banklore::testing {

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  std::string text() const;

 private:
  std::string path_;
  std::string previous_;
};

}  // namespace banklore::testing
