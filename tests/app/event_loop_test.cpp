// The toolkit-free clock: ticks come in time order, one-shots once, tasks from other threads in the
// order posted, and runUntil returns when its condition holds or its time is up.
#include "app/event_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace banklore {
namespace {

using namespace std::chrono_literals;

TEST(EventLoopTest, TimersAndTasksFromOtherThreadsRunOnTheLoopInOrder) {
  EventLoop loop;
  std::string seen;
  int repeats = 0;
  loop.startTimer(1, 30, false, [&] { seen += 'b'; });
  loop.startTimer(2, 10, false, [&] { seen += 'a'; });
  loop.startTimer(3, 5, true, [&] {
    if (++repeats == 3) loop.stopTimer(3);
  });
  loop.startTimer(4, 1, false, [&] { seen += 'x'; });
  loop.stopTimer(4);
  const auto start = loop.nowMs();
  EXPECT_TRUE(loop.runUntil([&] { return seen.size() == 2; }, 2s));
  EXPECT_EQ(seen, "ab");
  EXPECT_GE(loop.nowMs() - start, 30u);
  EXPECT_EQ(repeats, 3);

  std::thread poster([&] {
    for (char c : std::string("123")) loop.postToUiThread([&seen, c] { seen += c; });
  });
  EXPECT_TRUE(loop.runUntil([&] { return seen.size() == 5; }, 2s));
  poster.join();
  EXPECT_EQ(seen, "ab123");

  const auto before = loop.nowMs();
  EXPECT_FALSE(loop.runUntil([] { return false; }, 50ms));
  EXPECT_GE(loop.nowMs() - before, 50u);
}

}  // namespace
}  // namespace banklore
