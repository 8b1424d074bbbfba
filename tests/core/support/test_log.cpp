// Sends the debug log of the core tests into the test folder instead of the working directory.
#include <string>

#include "platform/debug_log.h"

namespace {

// Runs before any test; the log's own state is built on first use, so the order is safe.
[[maybe_unused]] const bool kLogRedirected = [] {
  banklore::SetLogPath(std::string(BANKLORE_TEST_TMPDIR) + "/core-tests-log.txt");
  return true;
}();

}  // namespace
