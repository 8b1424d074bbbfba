// A fresh debug log file per test, read back to check the exact lines written.
#pragma once

#include <string>

namespace banklore::test {

class TestLog {
 public:
  // Points the debug log at "<test tmp dir>/midi_<suite>_<test>.log" and empties it.
  TestLog();
  std::string contents() const;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace banklore::test
