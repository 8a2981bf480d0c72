#include "platform/qt_runtime.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <vector>

namespace dozewick {
namespace {

// The loop and the countdown run on these timers: never early, two started together keep firing
// together instead of drifting apart, and a dropped timer never fires.
TEST(QtRuntimeTest, TimersNeverFireEarlyAndStopWhenDropped) {
  QtRuntime runtime;
  QElapsedTimer clock;
  clock.start();
  int dropped = 0;
  runtime.scheduleRepeating(std::chrono::milliseconds(10), [&] { ++dropped; }).reset();
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
}

}  // namespace
}  // namespace dozewick
