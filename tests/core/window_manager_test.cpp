// The minimizing loop in virtual time over a fake window system.
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

TEST_F(WindowManagerTest, AStartRunsOnlyWithPermissionAndNeverInsideTheCall) {
  trust.granted = false;
  int notices = 0;
  auto subscription = manager->objectWillChange().connect([&] { ++notices; });
  startAndSettle();
  EXPECT_FALSE(manager->isRunning()());
  EXPECT_EQ(runtime.activeTimerCount(), 0u);
  EXPECT_EQ(notices, 0);

  trust.granted = true;
  manager->start();
  EXPECT_EQ(trust.checks, 1) << "nothing runs inside the call";
  runtime.runPending();
  EXPECT_TRUE(manager->isRunning()());
  EXPECT_EQ(manager->activeWindowCount()(), 4);
  EXPECT_EQ(manager->minimizedCount()(), 0);
  EXPECT_EQ(manager->nextMinimizeIn()(), 60);
  EXPECT_EQ(runtime.activeTimerCount(), 2u);
}

// Four idle windows: nothing at the first 59 firings, one at the 60th; the countdown runs 60 to
// 0 and then starts at 60 again; the counts are published at every check.
TEST_F(WindowManagerTest, TheSixtiethFiringMinimizesOneWindowAndTheCountdownWraps) {
  startAndSettle();
  int activeNotices = 0;
  auto subscription =
      manager->activeWindowCount().willSet().connect([&](auto) { ++activeNotices; });
  for (int firing = 1; firing <= 59; ++firing) {
    runtime.advance(1000ms);
    ASSERT_THAT(desktop.hideRequests, IsEmpty()) << "firing " << firing;
    ASSERT_EQ(manager->nextMinimizeIn()(), 60 - firing);
  }
  EXPECT_EQ(activeNotices, 59);
  runtime.advance(1000ms);
  EXPECT_EQ(desktop.hideRequests.size(), 1u);
  EXPECT_EQ(manager->minimizedCount()(), 1);
  EXPECT_EQ(manager->activeWindowCount()(), 3);
  EXPECT_EQ(manager->nextMinimizeIn()(), 0);
  runtime.advance(1000ms);
  EXPECT_EQ(manager->nextMinimizeIn()(), 60);

  manager->stop();
  EXPECT_FALSE(manager->isRunning()());
  EXPECT_EQ(runtime.activeTimerCount(), 0u);
  EXPECT_EQ(manager->nextMinimizeIn()(), 60);
  EXPECT_EQ(manager->minimizedCount()(), 1) << "the counts keep their last values";
  const auto hides = desktop.hideRequests.size();
  runtime.advance(120s);
  EXPECT_EQ(desktop.hideRequests.size(), hides);
  EXPECT_EQ(manager->nextMinimizeIn()(), 60);

  // A start after a stop begins from an empty tracker.
  startAndSettle();
  runtime.advance(59s);
  EXPECT_EQ(desktop.hideRequests.size(), hides);
}

// Idle time, protected places and kept applications, each against its default; the countdown
// runs from the idle time.
TEST_F(WindowManagerTest, ThePolicyDecidesWhenAndHowManyWindowsGoAndWhichNever) {
  desktop.open(5, 50, "", "Player");
  const struct {
    double idle;
    std::size_t protectedCount;
    std::vector<std::string> neverHide;
    int quietSeconds;  // nothing goes before this many seconds
    std::int64_t hidden;
  } cases[] = {
      {60, 3, {}, 60, 2},         {30, 3, {}, 30, 2},  {3600, 3, {}, 3600, 2},
      {60, 0, {}, 60, 5},         {60, 10, {}, 60, 0}, {30, 0, {"Player"}, 30, 4},
      {60, 3, {"Player"}, 60, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.idle);
    manager->stop();
    desktop.restoreAll();
    desktop.hideRequests.clear();
    manager->setPolicy(Policy{c.idle, c.protectedCount, c.neverHide});
    EXPECT_EQ(manager->nextMinimizeIn()(), static_cast<std::int64_t>(c.idle));
    startAndSettle();
    runtime.advance(std::chrono::seconds(c.quietSeconds - 1));
    EXPECT_THAT(desktop.hideRequests, IsEmpty());
    EXPECT_EQ(manager->nextMinimizeIn()(), 1);
    runtime.advance(2s);
    EXPECT_EQ(manager->nextMinimizeIn()(), static_cast<std::int64_t>(c.idle)) << "wraps";
    runtime.advance(300s);
    EXPECT_EQ(manager->minimizedCount()(), c.hidden);
    EXPECT_EQ(manager->activeWindowCount()(), 5 - c.hidden);
    EXPECT_EQ(desktop.windows.back().minimized, c.hidden == 5)
        << "the player goes only if not kept";
  }
  // A shorter idle time while running shortens the countdown at once, a longer one waits.
  manager->setPolicy(Policy{40, 3, {}});
  EXPECT_LE(manager->nextMinimizeIn()(), 40);
  const auto shown = manager->nextMinimizeIn()();
  manager->setPolicy(Policy{50, 3, {}});
  EXPECT_EQ(manager->nextMinimizeIn()(), shown);
}

// The listing does not change while the frontmost application does: the checks that see the same
// listing again must still count the frontmost application's windows as used.
TEST_F(WindowManagerTest, AnUnchangedListingStillRefreshesTheFrontmostApplication) {
  desktop.frontmost = 10;
  startAndSettle();
  const auto listing = desktop.onScreenWindowEntries();
  runtime.advance(30s);
  EXPECT_EQ(desktop.onScreenWindowEntries(), listing) << "the same listing, handed out again";
  desktop.frontmost.reset();
  runtime.advance(59s);
  EXPECT_THAT(desktop.hideRequests, IsEmpty()) << "window 1 was used until 30 s ago";
  runtime.advance(1s);
  EXPECT_THAT(desktop.hideRequests, ElementsAre(::testing::Ne(10)));
}

TEST_F(WindowManagerTest, RefusedWindowsAreOfferedAgainAtTheNextCheck) {
  desktop.runningApps.clear();
  desktop.refuseMinimize = {1, 2, 3, 4};
  startAndSettle();
  runtime.advance(62s);
  EXPECT_EQ(manager->minimizedCount()(), 0);
  EXPECT_EQ(desktop.minimizeRequests.size(), 3u) << "one attempt at each of three checks";
}

// The desktop answers after a while: only what it put away counts as minimized, and what it kept
// never does.
TEST_F(WindowManagerTest, OnlyWhatTheDesktopPutAwayCountsAsMinimized) {
  desktop.answersLater = true;
  startAndSettle();
  runtime.advance(60s);
  ASSERT_EQ(desktop.hideRequests.size(), 1u);
  runtime.advance(2s);
  EXPECT_EQ(manager->minimizedCount()(), 0) << "not yet answered";
  EXPECT_EQ(desktop.hideRequests.size(), 1u) << "a window on its way is not asked again";
  desktop.answer();
  for (int check = 0; check < 5; ++check) {
    runtime.advance(1s);
    EXPECT_EQ(manager->minimizedCount()(), 1) << "and stays counted " << check;
  }
  EXPECT_THAT(desktop.hideRequests, ::testing::Each(desktop.hideRequests[0]))
      << "gone from the listing, it is offered again";
  EXPECT_EQ(desktop.hideRequests.size(), 2u);

  manager->stop();
  desktop.restoreAll();
  desktop.keeps = {1, 2, 3, 4};
  startAndSettle();
  runtime.advance(61s);
  desktop.answer();
  runtime.advance(3s);
  EXPECT_EQ(manager->minimizedCount()(), 0);
  EXPECT_EQ(manager->keptCount()(), 1);
  EXPECT_EQ(manager->activeWindowCount()(), 4);
  const auto asks = desktop.hideRequests.size();
  runtime.advance(10s);
  EXPECT_EQ(desktop.hideRequests.size(), asks) << "what the desktop keeps is not offered in vain";
}

// Three windows go ten seconds apart; the user shows the second again and minimizes it, the
// first closes. Bring back asks for the third and the first, and for none of the user's.
TEST_F(WindowManagerTest, BringBackRestoresWhatThisRunPutAwayLastFirst) {
  desktop.open(9, 90);
  desktop.windows.back().minimized = true;  // the user's, before the start
  manager->setPolicy(Policy{60, 0, {}});
  startAndSettle();
  for (const std::int32_t pid : {10, 20, 30, 40}) {
    desktop.frontmost = pid;
    runtime.advance(10s);
  }
  runtime.advance(60s);
  const std::vector<std::uint32_t> gone = {1, 2, 3};  // in this order, ten seconds apart
  EXPECT_EQ(manager->putAwayCount()(), 3);
  auto window = [&](std::uint32_t id) -> FakeWindowSystem::Window& {
    return *std::find_if(desktop.windows.begin(), desktop.windows.end(),
                         [id](const auto& w) { return w.id == id; });
  };
  window(gone[1]).minimized = false;
  runtime.advance(1s);
  window(gone[1]).minimized = true;
  std::erase_if(desktop.windows, [&](const auto& w) { return w.id == gone[0]; });
  runtime.advance(1s);
  EXPECT_EQ(manager->putAwayCount()(), 2);

  EXPECT_TRUE(manager->bringBack());
  EXPECT_EQ(desktop.restoreRequests, (std::vector{gone[2], gone[0]}));
  EXPECT_TRUE(window(gone[1]).minimized && window(9).minimized);
  EXPECT_EQ(manager->putAwayCount()(), 0);
  const auto hides = desktop.hideRequests.size();
  runtime.advance(59s);
  EXPECT_THAT(std::vector(desktop.hideRequests.begin() + hides, desktop.hideRequests.end()),
              ::testing::Not(::testing::Contains(static_cast<std::int32_t>(gone[2] * 10))))
      << "a window brought back has its full idle time";
  manager->stop();
  EXPECT_TRUE(manager->bringBack());
  EXPECT_EQ(desktop.restoreRequests.size(), 2u) << "a stop forgets what the run put away";
}

TEST_F(WindowManagerTest, AStopOrASecondStartWhileAStartAwaitsItsCheck) {
  trust.hold = true;
  manager->start();
  runtime.runPending();
  manager->stop();
  trust.answer(true);
  EXPECT_TRUE(manager->isRunning()()) << "a stop does not cancel a pending start";

  manager->start();
  runtime.runPending();
  trust.answer(true);
  EXPECT_EQ(runtime.activeTimerCount(), 2u) << "no orphaned timers";
  runtime.advance(5s);
  EXPECT_EQ(manager->nextMinimizeIn()(), 55) << "one countdown step a second, not two";
  manager->stop();
  EXPECT_EQ(runtime.activeTimerCount(), 0u);
}

TEST_F(WindowManagerTest, AnUnreadableListForgetsUnmarkedWindowsAndAGoneManagerStops) {
  startAndSettle();
  desktop.listingFails = true;
  runtime.advance(1s);
  EXPECT_EQ(manager->activeWindowCount()(), 0);
  desktop.listingFails = false;
  runtime.advance(59s);
  EXPECT_THAT(desktop.hideRequests, IsEmpty()) << "relisted windows count as new";

  manager.reset();
  EXPECT_EQ(runtime.activeTimerCount(), 0u);
  runtime.advance(120s);
  EXPECT_THAT(desktop.hideRequests, IsEmpty());
}

}  // namespace
}  // namespace dozewick
