// Timers and the hop onto the UI thread, on the real event loop.
#include "ui/qt_ui_clock.h"

#include <QThread>
#include <thread>

#include "ui/support/ui_fixture.h"

namespace banklore::testing {
namespace {

void idle(int ms) {
  waitUntil([] { return false; }, ms);
}

TEST(QtUiClockTest, OneShotTicksOnceStoppedAndMayRestartItself) {
  QtUiClock clock;
  int ticks = 0;
  bool runningDuringTick = false;
  std::function<void()> tick = [&] {
    runningDuringTick = runningDuringTick || clock.timerRunning(3);
    if (++ticks < 3) clock.startTimer(3, 1, false, tick);
  };
  clock.startTimer(3, 1, false, tick);
  EXPECT_TRUE(waitUntil([&] { return ticks == 3; }));
  idle(30);
  EXPECT_EQ(ticks, 3);
  EXPECT_FALSE(runningDuringTick);
}

TEST(QtUiClockTest, RepeatingTimerStopsFromItsOwnTickAndAnIdIsReplaced) {
  QtUiClock clock;
  int replaced = 0;
  int ticks = 0;
  clock.startTimer(1, 2, true, [&] { ++replaced; });
  clock.startTimer(1, 2, true, [&] {
    if (++ticks == 3) clock.stopTimer(1);
  });
  EXPECT_TRUE(waitUntil([&] { return ticks == 3; }));
  idle(30);
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(replaced, 0);
  clock.stopTimer(42);  // never started: harmless
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
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
  EXPECT_TRUE(allOnUiThread);
  const std::uint32_t start = clock.nowMs();
  QThread::msleep(20);
  EXPECT_GE(clock.nowMs() - start, 19u);
}

}  // namespace
}  // namespace banklore::testing
