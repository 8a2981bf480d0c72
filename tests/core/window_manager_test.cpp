#include "core/window_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>

#include "support/fake_window_system.h"
#include "support/virtual_runtime.h"

namespace dozewick {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using testing::FakeWindowSystem;
using ::testing::IsEmpty;
using testing::VirtualRuntime;

// Answers on the main thread, later; or holds its answers until the test releases them.
class FakeTrust final : public TrustCheck {
 public:
  explicit FakeTrust(Runtime& runtime) : runtime_(runtime) {}
  bool granted = true;
  bool hold = false;
  int checks = 0;
  std::deque<std::function<void(bool)>> pending;

  void checkPermissionAsync(std::function<void(bool)> done) override {
    ++checks;
    if (hold) {
      pending.push_back(std::move(done));
      return;
    }
    runtime_.post([this, done = std::move(done)] { done(granted); });
  }
  void answer(bool value) {
    auto done = std::move(pending.front());
    pending.pop_front();
    done(value);
  }

 private:
  Runtime& runtime_;
};

class WindowManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (std::uint32_t id = 1; id <= 4; ++id)
      desktop.open(id, static_cast<std::int32_t>(id * 10));
  }
  void startAndSettle() {
    manager->start();
    runtime.runPending();
  }

  VirtualRuntime runtime;
  FakeWindowSystem desktop;
  FakeTrust trust{runtime};
  std::shared_ptr<WindowManager> manager =
      WindowManager::create(runtime.clock(), runtime, desktop, trust);
};

TEST_F(WindowManagerTest, StartWithoutPermissionChangesNothing) {
  trust.granted = false;
  int notices = 0;
  auto subscription = manager->objectWillChange().connect([&] { ++notices; });
  startAndSettle();
  EXPECT_FALSE(manager->isRunning()());
  EXPECT_EQ(manager->nextMinimizeIn()(), 60);
  EXPECT_EQ(manager->activeWindowCount()(), 0);
  EXPECT_EQ(runtime.activeTimerCount(), 0u);
  EXPECT_EQ(notices, 0);
  runtime.advance(120s);
  EXPECT_THAT(desktop.hideRequests, IsEmpty());
}

TEST_F(WindowManagerTest, StartReturnsAtOnceAndRunsAfterTheCheck) {
  manager->start();
  EXPECT_EQ(trust.checks, 0);  // nothing runs inside the call
  EXPECT_FALSE(manager->isRunning()());
  runtime.runPending();
  EXPECT_TRUE(manager->isRunning()());
  EXPECT_EQ(manager->activeWindowCount()(), 4);
  EXPECT_EQ(manager->minimizedCount()(), 0);
  EXPECT_EQ(manager->nextMinimizeIn()(), 60);
  EXPECT_EQ(runtime.activeTimerCount(), 2u);
}

TEST_F(WindowManagerTest, FourIdleWindowsLoseOneAtTheSixtiethFiring) {
  startAndSettle();
  for (int firing = 1; firing <= 59; ++firing) {
    runtime.advance(1000ms);
    ASSERT_THAT(desktop.hideRequests, IsEmpty()) << "firing " << firing;
  }
  runtime.advance(1000ms);
  EXPECT_EQ(desktop.hideRequests.size(), 1u);
  EXPECT_EQ(manager->minimizedCount()(), 1);
  EXPECT_EQ(manager->activeWindowCount()(), 3);
}

TEST_F(WindowManagerTest, FrontmostApplicationKeepsItsWindows) {
  desktop.frontmost = 10;
  desktop.open(5, 10);
  desktop.open(6, 60);
  startAndSettle();
  runtime.advance(300s);
  // Four other windows: one goes (three are protected); pid 10 never does.
  EXPECT_EQ(manager->minimizedCount()(), 1);
  ASSERT_FALSE(desktop.hideRequests.empty());
  for (const auto pid : desktop.hideRequests)
    EXPECT_NE(pid, 10);
}

TEST_F(WindowManagerTest, HiddenWindowIsOfferedAgainAtTheNextCheck) {
  // Window 4 is listed from the start, the other three only five seconds later, so that window
  // 4 is the one beyond the three protected places.
  for (int i = 0; i < 3; ++i)
    desktop.windows[i].minimized = true;
  startAndSettle();
  runtime.advance(5s);
  desktop.restoreAll();  // first listed at the next check
  runtime.advance(60s);
  EXPECT_THAT(desktop.hideRequests, IsEmpty());
  runtime.advance(1s);
  EXPECT_THAT(desktop.hideRequests, ElementsAre(40));
  runtime.advance(1s);
  EXPECT_THAT(desktop.hideRequests, ElementsAre(40, 40));
  EXPECT_EQ(manager->minimizedCount()(), 1);
}

TEST_F(WindowManagerTest, RefusedWindowStaysACandidate) {
  desktop.runningApps.clear();
  desktop.refuseMinimize = {1, 2, 3, 4};
  startAndSettle();
  runtime.advance(62s);
  EXPECT_EQ(manager->minimizedCount()(), 0);
  EXPECT_EQ(desktop.minimizeRequests.size(), 3u);  // one attempt at each of three checks
}

TEST_F(WindowManagerTest, CountdownRunsSixtyToZeroThenSixty) {
  startAndSettle();
  std::vector<std::int64_t> seen;
  for (int second = 0; second < 62; ++second) {
    seen.push_back(manager->nextMinimizeIn()());
    runtime.advance(1s);
  }
  for (int second = 0; second <= 60; ++second)
    EXPECT_EQ(seen[second], 60 - second);
  EXPECT_EQ(seen[61], 60);
  manager->stop();
  EXPECT_EQ(manager->nextMinimizeIn()(), 60);
  runtime.advance(10s);
  EXPECT_EQ(manager->nextMinimizeIn()(), 60);
}

TEST_F(WindowManagerTest, StopKeepsCountsAndEndsTheTimers) {
  startAndSettle();
  runtime.advance(60s);
  manager->stop();
  EXPECT_FALSE(manager->isRunning()());
  EXPECT_EQ(runtime.activeTimerCount(), 0u);
  EXPECT_FALSE(manager->hasTimers());
  EXPECT_EQ(manager->minimizedCount()(), 1);
  EXPECT_EQ(manager->activeWindowCount()(), 3);
  const auto hides = desktop.hideRequests.size();
  runtime.advance(120s);
  EXPECT_EQ(desktop.hideRequests.size(), hides);
}

TEST_F(WindowManagerTest, StopWhileTheStartAwaitsItsCheckDoesNotCancelIt) {
  trust.hold = true;
  manager->start();
  runtime.runPending();
  ASSERT_EQ(trust.pending.size(), 1u);
  manager->stop();
  EXPECT_FALSE(manager->isRunning()());
  trust.answer(true);
  EXPECT_TRUE(manager->isRunning()());
  EXPECT_EQ(runtime.activeTimerCount(), 2u);
}

TEST_F(WindowManagerTest, SecondStartNeverLeavesOrphanedTimers) {
  trust.hold = true;
  manager->start();
  manager->start();
  runtime.runPending();
  trust.answer(true);
  trust.answer(true);
  EXPECT_EQ(runtime.activeTimerCount(), 2u);
  runtime.advance(5s);
  EXPECT_EQ(manager->nextMinimizeIn()(), 55);  // one countdown step a second, not two
  manager->stop();
  EXPECT_EQ(runtime.activeTimerCount(), 0u);
}

TEST_F(WindowManagerTest, RestartBeginsFromAnEmptyTracker) {
  startAndSettle();
  runtime.advance(59s);
  manager->stop();
  runtime.advance(30s);
  startAndSettle();
  runtime.advance(59s);
  EXPECT_THAT(desktop.hideRequests, IsEmpty());
  runtime.advance(1s);
  EXPECT_EQ(desktop.hideRequests.size(), 1u);
}

TEST_F(WindowManagerTest, CountsArePublishedAtEveryCheck) {
  startAndSettle();
  int activeNotices = 0;
  auto subscription = manager->activeWindowCount().willSet().connect([&](std::int64_t value) {
    EXPECT_EQ(value, 4);
    ++activeNotices;
  });
  runtime.advance(3s);
  EXPECT_EQ(activeNotices, 3);
}

TEST_F(WindowManagerTest, UnreadableListForgetsUnmarkedWindows) {
  startAndSettle();
  desktop.listingFails = true;
  runtime.advance(1s);
  EXPECT_EQ(manager->activeWindowCount()(), 0);
  desktop.listingFails = false;
  runtime.advance(59s);
  // Relisted windows count as new, so nothing is old enough yet.
  EXPECT_THAT(desktop.hideRequests, IsEmpty());
}

TEST_F(WindowManagerTest, DestroyedManagerLeavesNothingRunning) {
  startAndSettle();
  manager.reset();
  EXPECT_EQ(runtime.activeTimerCount(), 0u);
  runtime.advance(120s);
  EXPECT_THAT(desktop.hideRequests, IsEmpty());
}

}  // namespace
}  // namespace dozewick
