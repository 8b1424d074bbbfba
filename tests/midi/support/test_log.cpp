#include "midi/support/test_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/debug_log.h"

namespace banklore::test {

TestLog::TestLog() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "_" + info->name() : "midi";
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  path_ = std::string(BANKLORE_TEST_TMPDIR) + "/midi_" + name + ".log";
  std::remove(path_.c_str());
  SetLogPath(path_);
}

std::string TestLog::contents() const {
  std::ifstream file(path_);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace banklore::test
