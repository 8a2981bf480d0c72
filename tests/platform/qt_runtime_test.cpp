// The Qt main-thread runtime: its timers on one grid, and posted tasks.
#include "platform/qt_runtime.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <vector>

namespace dozewick {
namespace {

using namespace std::chrono_literals;

// The loop and the countdown run on these timers: never early, two started together keep firing
// together instead of drifting apart, and a dropped timer never fires, nor one that stopped itself.
TEST(QtRuntimeTest, TimersNeverFireEarlyAndStopWhenDropped) {
  QtRuntime runtime;
  QElapsedTimer clock;
  clock.start();
  int dropped = 0, selfStopping = 0;
  runtime.scheduleRepeating(std::chrono::milliseconds(10), [&] { ++dropped; }).reset();
  std::shared_ptr<RepeatingTimer> self = runtime.scheduleRepeating(20ms, [&] {
    ++selfStopping;
    self.reset();
  });
  constexpr int interval = 130;
  std::vector<qint64> loop, countdown;
  auto first = runtime.scheduleRepeating(std::chrono::milliseconds(interval),
                                         [&] { loop.push_back(clock.elapsed()); });
  auto second = runtime.scheduleRepeating(std::chrono::milliseconds(interval),
                                          [&] { countdown.push_back(clock.elapsed()); });
  QDeadlineTimer deadline(5000);
  while ((loop.size() < 8 || countdown.size() < 8) && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  ASSERT_GE(countdown.size(), 8u);
  // A late firing (a busy machine) is allowed; an early one is not.
  for (std::size_t i = 0; i < 8; ++i)
    EXPECT_GE(std::min(loop.at(i), countdown[i]), static_cast<qint64>(i + 1) * interval) << i;
  EXPECT_EQ(loop.size(), countdown.size());
  EXPECT_EQ(dropped, 0);
  EXPECT_EQ(selfStopping, 1);
}

TEST(QtRuntimeTest, TimersOfWholeStepsShareTheirWakeUps) {
  QtRuntime runtime(50ms);
  QElapsedTimer clock;
  clock.start();
  bool shortFired = false, longFired = false;
  int shortCount = 0;
  std::vector<qint64> longTimes;
  auto shortTimer = runtime.scheduleRepeating(50ms, [&] { shortFired = true; });
  // Started off the step: on timers of their own the two would never fire together.
  QThread::msleep(70);
  const qint64 longStart = clock.elapsed();
  auto longTimer = runtime.scheduleRepeating(150ms, [&] {
    longFired = true;
    longTimes.push_back(clock.elapsed());
  });
  QDeadlineTimer deadline(5000);
  while (longTimes.size() < 4 && !deadline.hasExpired()) {
    shortFired = longFired = false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    shortCount += shortFired;
    EXPECT_TRUE(!longFired || shortFired) << "a wake-up of its own at " << clock.elapsed();
  }
  ASSERT_EQ(longTimes.size(), 4u);
  EXPECT_GE(longTimes[0] - longStart, 150) << "never sooner than asked";
  EXPECT_GE(shortCount, 10);
}

}  // namespace
}  // namespace dozewick
