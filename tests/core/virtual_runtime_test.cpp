#include "support/virtual_runtime.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dozewick::testing {
namespace {

using namespace std::chrono_literals;

TEST(VirtualRuntimeTest, TimerFiresOneIntervalAfterSchedulingThenEveryInterval) {
  VirtualRuntime runtime;
  std::vector<std::int64_t> firings;
  auto timer =
      runtime.scheduleRepeating(1000ms, [&] { firings.push_back(runtime.elapsed().count()); });
  runtime.advance(999ms);
  EXPECT_TRUE(firings.empty());
  runtime.advance(2001ms);
  EXPECT_EQ(firings, (std::vector<std::int64_t>{1000, 2000, 3000}));
  EXPECT_DOUBLE_EQ(runtime.clock().now(), 1'800'000'003.0);
}

TEST(VirtualRuntimeTest, InvalidatedTimerNeverFiresAgain) {
  VirtualRuntime runtime;
  int own = 0, other = 0;
  std::shared_ptr<RepeatingTimer> self;
  self = runtime.scheduleRepeating(1000ms, [&] {
    ++own;
    self->invalidate();
    self.reset();  // dropping the handle inside its own firing is safe
  });
  auto second = runtime.scheduleRepeating(500ms, [&] { ++other; });
  runtime.advance(1200ms);
  second->invalidate();
  runtime.advance(10s);
  EXPECT_EQ(own, 1);
  EXPECT_EQ(other, 2);
  EXPECT_EQ(runtime.activeTimerCount(), 0u);
}

TEST(VirtualRuntimeTest, DroppingTheHandleStopsTheTimer) {
  VirtualRuntime runtime;
  int count = 0;
  runtime.scheduleRepeating(100ms, [&] { ++count; }).reset();
  runtime.advance(1s);
  EXPECT_EQ(count, 0);
}

TEST(VirtualRuntimeTest, TasksRunLaterInOrderAndBackgroundAnswersComeBackLater) {
  VirtualRuntime runtime;
  std::string log;
  runtime.post([&] {
    log += "a";
    runtime.post([&] { log += "c"; });
  });
  runtime.post([&] { log += "b"; });
  EXPECT_EQ(log, "");
  runtime.queryInBackground<int>([] { return 7; }, [&](int v) { log += std::to_string(v); });
  runtime.runPending();
  EXPECT_EQ(log, "abc7");

  runtime.holdBackground(true);
  runtime.queryInBackground<bool>([] { return true; }, [&](bool) { log += "!"; });
  runtime.runPending();
  EXPECT_EQ(runtime.heldBackgroundCount(), 1u);
  EXPECT_EQ(log, "abc7");
  runtime.releaseBackground();
  runtime.runPending();
  EXPECT_EQ(log, "abc7!");
}

}  // namespace
}  // namespace dozewick::testing
