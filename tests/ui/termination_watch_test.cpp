#include "ui/termination_watch.h"

#include <signal.h>

#include "ui/support/ui_fixture.h"

namespace banklore::testing {
namespace {

TEST(TerminationWatchTest, SignalsBecomeCloseRequestsOnTheUiThreadWhileWatched) {
  const auto handler = [] {
    struct sigaction current {};
    ::sigaction(SIGTERM, nullptr, &current);
    return current.sa_handler;
  };
  { TerminationWatch gone; }
  EXPECT_EQ(handler(), SIG_DFL);
  TerminationWatch watch;
  ASSERT_TRUE(watch.watching());
  int requests = 0;
  QObject::connect(&watch, &TerminationWatch::terminationRequested, [&] { ++requests; });
  ::raise(SIGTERM);
  EXPECT_EQ(requests, 0);  // nothing runs inside the handler
  EXPECT_TRUE(waitUntil([&] { return requests == 1; }));
  ::raise(SIGINT);
  EXPECT_TRUE(waitUntil([&] { return requests == 2; }));
}

}  // namespace
}  // namespace banklore::testing
