// Timers and the hop onto the UI thread, on the real event loop.
#include "ui/qt_ui_clock.h"

#include <QThread>
#include <thread>

#include "ui/support/ui_fixture.h"

namespace banklore::testing {
namespace {

TEST(QtUiClockTest, OneShotTimerTicksOnceAndIsStoppedBeforeItsTick) {
  QtUiClock clock;
  int ticks = 0;
  bool runningDuringTick = true;
  clock.startTimer(3, 5, false, [&] {
    ++ticks;
    runningDuringTick = clock.timerRunning(3);
  });
  EXPECT_TRUE(waitUntil([&] { return ticks == 1; }));
  waitUntil([] { return false; }, 40);
  EXPECT_EQ(ticks, 1);
  EXPECT_FALSE(runningDuringTick);
}

TEST(QtUiClockTest, RepeatingTimerTicksUntilStoppedEvenFromItsOwnTick) {
  QtUiClock clock;
  int ticks = 0;
  clock.startTimer(1, 2, true, [&] {
    if (++ticks == 3) clock.stopTimer(1);
  });
  EXPECT_TRUE(waitUntil([&] { return ticks == 3; }));
  waitUntil([] { return false; }, 30);
  EXPECT_EQ(ticks, 3);
  EXPECT_FALSE(clock.timerRunning(1));
  clock.stopTimer(42);  // never started: harmless
}

TEST(QtUiClockTest, StartingAnIdAgainReplacesTheRunningTimer) {
  QtUiClock clock;
  int first = 0;
  int second = 0;
  clock.startTimer(7, 5, true, [&] { ++first; });
  clock.startTimer(7, 5, false, [&] { ++second; });
  EXPECT_TRUE(waitUntil([&] { return second == 1; }));
  waitUntil([] { return false; }, 30);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
}

TEST(QtUiClockTest, OneShotTickMayStartItselfAgain) {
  QtUiClock clock;
  int ticks = 0;
  std::function<void()> again = [&] {
    if (++ticks < 3) clock.startTimer(2, 1, false, again);
  };
  clock.startTimer(2, 1, false, again);
  EXPECT_TRUE(waitUntil([&] { return ticks == 3; }));
}

TEST(QtUiClockTest, ClockMovesForwardInMilliseconds) {
  QtUiClock clock;
  const std::uint32_t start = clock.nowMs();
  QThread::msleep(20);
  const std::uint32_t elapsed = clock.nowMs() - start;
  EXPECT_GE(elapsed, 19u);
  EXPECT_LT(elapsed, 2000u);
}

TEST(QtUiClockTest, TasksPostedFromAnotherThreadRunOnTheUiThreadInOrder) {
  QtUiClock clock;
  std::vector<int> order;
  std::vector<bool> onUiThread;
  QThread* ui = QThread::currentThread();
  std::thread poster([&] {
    for (int i = 0; i < 50; ++i) {
      clock.postToUiThread([&, i] {
        order.push_back(i);
        onUiThread.push_back(QThread::currentThread() == ui);
      });
    }
  });
  poster.join();
  EXPECT_TRUE(waitUntil([&] { return order.size() == 50; }));
  for (int i = 0; i < 50; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
  for (bool onUi : onUiThread) EXPECT_TRUE(onUi);
}

TEST(QtUiClockTest, TasksPostedToAClockThatIsGoneNeverRun) {
  bool ran = false;
  {
    QtUiClock clock;
    clock.postToUiThread([&] { ran = true; });
  }
  waitUntil([] { return false; }, 20);
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace banklore::testing
