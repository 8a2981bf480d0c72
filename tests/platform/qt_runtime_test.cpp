#include "platform/qt_runtime.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <string>
#include <vector>

#include "support/qt_application.h"

namespace dozewick {
namespace {

using namespace std::chrono_literals;

[[maybe_unused]] const auto* const kEnvironment = testing::addQtApplication<QCoreApplication>();

// Runs the event loop until `done` holds or the deadline passes.
template <class Condition>
bool spinUntil(Condition done, std::chrono::milliseconds limit = 5000ms) {
  QDeadlineTimer deadline(limit);
  while (!done()) {
    if (deadline.hasExpired())
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

class QtRuntimeTest : public ::testing::Test {
 protected:
  QtRuntime runtime;
};

// The loop and the countdown run on these timers: never early, and two started together keep
// firing together instead of drifting apart.
TEST_F(QtRuntimeTest, TimersNeverFireEarlyAndKeepInStep) {
  QElapsedTimer clock;
  clock.start();
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
}

TEST_F(QtRuntimeTest, TimerInvalidatedInsideItsOwnFiringStops) {
  int firings = 0;
  std::shared_ptr<RepeatingTimer> timer;
  timer = runtime.scheduleRepeating(20ms, [&] {
    ++firings;
    timer->invalidate();
    timer.reset();
  });
  int other = 0;
  auto witness = runtime.scheduleRepeating(20ms, [&] { ++other; });
  ASSERT_TRUE(spinUntil([&] { return other >= 5; }));
  EXPECT_EQ(firings, 1);
}

TEST_F(QtRuntimeTest, DroppedHandleNeverFires) {
  int firings = 0;
  runtime.scheduleRepeating(10ms, [&] { ++firings; }).reset();
  int other = 0;
  auto witness = runtime.scheduleRepeating(20ms, [&] { ++other; });
  ASSERT_TRUE(spinUntil([&] { return other >= 3; }));
  EXPECT_EQ(firings, 0);
}

TEST_F(QtRuntimeTest, TasksRunLaterAndInOrder) {
  std::string log;
  runtime.post([&] {
    log += "a";
    runtime.post([&] { log += "c"; });
  });
  runtime.post([&] { log += "b"; });
  EXPECT_EQ(log, "");
  ASSERT_TRUE(spinUntil([&] { return log.size() == 3; }));
  EXPECT_EQ(log, "abc");
}

TEST_F(QtRuntimeTest, BackgroundQueryRunsOffTheMainThreadAndAnswersOnIt) {
  QThread* main = QThread::currentThread();
  std::atomic<QThread*> worker{nullptr};
  QThread* deliveredOn = nullptr;
  int value = 0;
  runtime.queryInBackground<int>(
      [&] {
        worker = QThread::currentThread();
        return 42;
      },
      [&](int answer) {
        deliveredOn = QThread::currentThread();
        value = answer;
      });
  ASSERT_TRUE(spinUntil([&] { return value == 42; }));
  EXPECT_NE(worker.load(), main);
  EXPECT_EQ(deliveredOn, main);
}

TEST_F(QtRuntimeTest, AnswerArrivingAfterItsRuntimeIsGoneIsDropped) {
  bool delivered = false;
  {
    QtRuntime runtime;
    runtime.runInBackground([] { QThread::msleep(50); }, [&] { delivered = true; });
  }
  QCoreApplication::processEvents();
  EXPECT_FALSE(delivered);
}

}  // namespace
}  // namespace dozewick
