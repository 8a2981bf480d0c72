#include "platform/qt_runtime.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <string>
#include <vector>

namespace dozewick {
namespace {

using namespace std::chrono_literals;

template <class Condition>
bool spinUntil(Condition done) {
  QDeadlineTimer deadline(5000);
  while (!done() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

TEST(QtRuntimeTest, TimersWaitAnIntervalAndStopWhenInvalidatedOrDropped) {
  QtRuntime runtime;
  QElapsedTimer clock;
  clock.start();
  int selfStopping = 0, dropped = 0;
  std::shared_ptr<RepeatingTimer> self;
  self = runtime.scheduleRepeating(20ms, [&] {
    ++selfStopping;
    self->invalidate();
    self.reset();
  });
  runtime.scheduleRepeating(10ms, [&] { ++dropped; }).reset();
  // The loop and the countdown run on these timers: never early, and two started together keep
  // firing together instead of drifting apart.
  constexpr int interval = 130;
  std::vector<qint64> loop, countdown;
  auto first = runtime.scheduleRepeating(std::chrono::milliseconds(interval),
                                         [&] { loop.push_back(clock.elapsed()); });
  auto second = runtime.scheduleRepeating(std::chrono::milliseconds(interval),
                                          [&] { countdown.push_back(clock.elapsed()); });
  ASSERT_TRUE(spinUntil([&] { return loop.size() >= 8 && countdown.size() >= 8; }));
  for (std::size_t i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    // A late firing (a busy machine) is allowed; an early one is not.
    EXPECT_GE(loop[i], static_cast<qint64>(i + 1) * interval);
    EXPECT_GE(countdown[i], static_cast<qint64>(i + 1) * interval);
  }
  EXPECT_EQ(loop.size(), countdown.size());
  EXPECT_TRUE(first->isValid());
  EXPECT_EQ(selfStopping, 1);
  EXPECT_EQ(dropped, 0);
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

TEST(QtRuntimeTest, TasksRunLaterInOrderAndBackgroundAnswersComeBackToTheMainThread) {
  std::string log;
  std::atomic<QThread*> worker{nullptr};
  QThread* deliveredOn = nullptr;
  bool late = false;
  {
    QtRuntime runtime;
    runtime.post([&] {
      log += "a";
      runtime.post([&] { log += "c"; });
    });
    runtime.post([&] { log += "b"; });
    EXPECT_EQ(log, "");
    runtime.queryInBackground<int>(
        [&] {
          worker = QThread::currentThread();
          return 7;
        },
        [&](int answer) {
          deliveredOn = QThread::currentThread();
          log += std::to_string(answer);
        });
    ASSERT_TRUE(spinUntil([&] { return log.size() == 4; }));
    runtime.runInBackground([] { QThread::msleep(50); }, [&] { late = true; });
  }
  EXPECT_EQ(log.substr(0, 3), "abc");
  EXPECT_NE(worker.load(), QThread::currentThread());
  EXPECT_EQ(deliveredOn, QThread::currentThread());
  QThread::msleep(100);
  QCoreApplication::processEvents();
  EXPECT_FALSE(late) << "an answer for a runtime that is gone is dropped";
}

}  // namespace
}  // namespace dozewick
