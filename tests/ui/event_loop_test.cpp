// On the real event loop: timers and the hop onto the UI thread. Termination signals are the
// window's test (main_frame_test.cpp).
#include <QThread>
#include <thread>

#include "ui/qt_ui_clock.h"
#include "ui/support/ui_fixture.h"

namespace banklore::testing {
namespace {

TEST(QtUiClockTest, TimersStopFromTheirOwnTickRestartAndReplaceTheirId) {
  QtUiClock clock;
  int oneShots = 0, repeats = 0, replaced = 0;
  bool runningDuringTick = false, later = false;
  std::function<void()> tick = [&] {
    runningDuringTick = runningDuringTick || clock.timerRunning(3);
    if (++oneShots < 3) clock.startTimer(3, 1, false, tick);  // a one-shot may restart itself
  };
  clock.startTimer(3, 1, false, tick);
  clock.startTimer(1, 2, true, [&] { ++replaced; });
  clock.startTimer(1, 2, true, [&] {
    if (++repeats == 3) clock.stopTimer(1);
  });
  ASSERT_TRUE(waitUntil([&] { return oneShots == 3 && repeats == 3; }));
  // A timer ten times as slow as the stopped one: had that one kept going, it would have ticked.
  clock.startTimer(2, 20, false, [&] { later = true; });
  ASSERT_TRUE(waitUntil([&] { return later; }));
  EXPECT_EQ(std::tuple(oneShots, repeats, replaced, runningDuringTick), std::tuple(3, 3, 0, false));
}

TEST(QtUiClockTest, TasksPostedFromAnotherThreadRunOnTheUiThreadInOrder) {
  QtUiClock clock;
  std::vector<int> order;
  bool allOnUiThread = true;
  QThread* ui = QThread::currentThread();
  std::thread poster([&] {
    for (int i = 0; i < 50; ++i) {
      clock.postToUiThread([&, i] {
        order.push_back(i);
        allOnUiThread = allOnUiThread && QThread::currentThread() == ui;
      });
    }
  });
  poster.join();
  ASSERT_TRUE(waitUntil([&] { return order.size() == 50; }));
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end()) && allOnUiThread);
}

}  // namespace
}  // namespace banklore::testing
