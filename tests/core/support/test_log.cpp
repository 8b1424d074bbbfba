// Sends the debug log of the core tests into the test folder instead of the working directory.
#include <gtest/gtest.h>

#include <string>

#include "platform/debug_log.h"

namespace {

class TestLogEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    banklore::SetLogPath(std::string(BANKLORE_TEST_TMPDIR) + "/core-tests-log.txt");
  }
};

// Google Test owns the environment it is given.
[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TestLogEnvironment);

}  // namespace
