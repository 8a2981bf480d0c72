#include "platform/qt_runtime.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <string>

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
  qint64 firstAt = -1;
  int selfStopping = 0, dropped = 0, witness = 0;
  std::shared_ptr<RepeatingTimer> self;
  self = runtime.scheduleRepeating(20ms, [&] {
    ++selfStopping;
    self->invalidate();
    self.reset();
  });
  runtime.scheduleRepeating(10ms, [&] { ++dropped; }).reset();
  auto timer = runtime.scheduleRepeating(200ms, [&] {
    if (witness++ == 0)
      firstAt = clock.elapsed();
  });
  ASSERT_TRUE(spinUntil([&] { return witness >= 2; }));
  // Coarse timers may fire a little early; what matters is that the first firing is not at once.
  EXPECT_GE(firstAt, 100);
  EXPECT_EQ(selfStopping, 1);
  EXPECT_EQ(dropped, 0);
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
