#include "core/window_activity_tracker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/virtual_runtime.h"

namespace dozewick {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::ManualClock;

WindowInfo window(std::uint32_t id, std::int32_t pid = 100, std::string title = "") {
  return WindowInfo{id, pid, "App", std::move(title)};
}

std::vector<std::uint32_t> ids(const std::vector<WindowInfo>& windows) {
  std::vector<std::uint32_t> result;
  for (const auto& w : windows)
    result.push_back(w.windowID);
  return result;
}

class TrackerTest : public ::testing::Test {
 protected:
  // Enters each window alone, `ago` seconds before now, by listing it once at that time.
  void enterAt(const WindowInfo& w, double ago) {
    clock.set(base - ago);
    tracker.updateActiveWindows({w}, std::nullopt);
    clock.set(base);
  }

  double base = 1'800'000'000.0;
  ManualClock clock{base};
  WindowActivityTracker tracker{clock};
};

TEST_F(TrackerTest, FirstCheckStampsEveryWindowAndChoosesNothing) {
  const std::vector<WindowInfo> list = {window(1), window(2), window(3), window(4)};
  tracker.cleanupClosedWindows(list);
  tracker.updateActiveWindows(list, std::nullopt);
  EXPECT_THAT(tracker.getWindowsToMinimize(0, 60.0, std::nullopt), IsEmpty());
  clock.advance(60.0);
  // All four carry the same stamp, so all four qualify together.
  EXPECT_EQ(tracker.getWindowsToMinimize(0, 60.0, std::nullopt).size(), 4u);
  EXPECT_EQ(tracker.getActiveWindowCount(), 4);
}

TEST_F(TrackerTest, ThresholdIsInclusiveToTheMillisecond) {
  enterAt(window(1), 60.0);
  enterAt(window(2), 59.999);
  EXPECT_THAT(ids(tracker.getWindowsToMinimize(0, 60.0, std::nullopt)), ElementsAre(1u));
}

TEST_F(TrackerTest, ProtectsTheMostRecentlyUsedCandidates) {
  enterAt(window(1), 61);
  enterAt(window(2), 70);
  enterAt(window(3), 65);
  enterAt(window(4), 90);
  EXPECT_THAT(ids(tracker.getWindowsToMinimize(3, 60.0, std::nullopt)), ElementsAre(4u));

  tracker.reset();
  for (std::uint32_t id = 1; id <= 5; ++id)
    enterAt(window(id), 60.0 + id);
  EXPECT_THAT(ids(tracker.getWindowsToMinimize(3, 60.0, std::nullopt)), ElementsAre(4u, 5u));
  EXPECT_THAT(ids(tracker.getWindowsToMinimize(0, 60.0, std::nullopt)),
              ElementsAre(1u, 2u, 3u, 4u, 5u));
  EXPECT_THAT(tracker.getWindowsToMinimize(5, 60.0, std::nullopt), IsEmpty());
}

TEST_F(TrackerTest, WindowsUnderTheThresholdUseNoProtectedPlace) {
  enterAt(window(1), 10);
  enterAt(window(2), 20);
  enterAt(window(3), 61);
  enterAt(window(4), 62);
  enterAt(window(5), 63);
  enterAt(window(6), 64);
  EXPECT_THAT(ids(tracker.getWindowsToMinimize(3, 60.0, std::nullopt)), ElementsAre(6u));
}

TEST_F(TrackerTest, FrontmostApplicationIsRefreshedAndExempt) {
  enterAt(window(1, 7), 100);
  enterAt(window(2, 7), 100);
  enterAt(window(3, 8), 100);
  // Without a frontmost application nothing is refreshed and nothing is exempt.
  tracker.updateActiveWindows({window(1, 7), window(2, 7), window(3, 8)}, std::nullopt);
  EXPECT_THAT(ids(tracker.getWindowsToMinimize(0, 60.0, std::nullopt)),
              ::testing::UnorderedElementsAre(1u, 2u, 3u));
  // Exempt whatever its recorded time.
  EXPECT_THAT(ids(tracker.getWindowsToMinimize(0, 60.0, 7)), ElementsAre(3u));

  // Every listed window of the frontmost application is refreshed, not only one.
  tracker.updateActiveWindows({window(1, 7), window(2, 7), window(3, 8)}, 7);
  clock.advance(30);
  EXPECT_THAT(ids(tracker.getWindowsToMinimize(0, 60.0, 8)), IsEmpty());
  EXPECT_THAT(ids(tracker.getWindowsToMinimize(0, 60.0, std::nullopt)), ElementsAre(3u));
}

TEST_F(TrackerTest, BeingListedAgainDoesNotRefresh) {
  enterAt(window(1), 70);
  tracker.updateActiveWindows({window(1)}, std::nullopt);
  EXPECT_THAT(ids(tracker.getWindowsToMinimize(0, 60.0, std::nullopt)), ElementsAre(1u));
}

TEST_F(TrackerTest, TheRecordStoredFirstStays) {
  enterAt(window(1, 100, "old title"), 70);
  tracker.updateActiveWindows({window(1, 100, "new title")}, 100);
  clock.advance(61);
  tracker.markAsMinimized(window(1, 100, "newest title"));
  tracker.cleanupClosedWindows({});
  const auto chosen = tracker.getWindowsToMinimize(0, 60.0, std::nullopt);
  ASSERT_EQ(chosen.size(), 1u);
  EXPECT_EQ(chosen[0].title, "old title");
}

TEST_F(TrackerTest, EmptyListKeepsOnlyTheTimesOfMinimizedWindows) {
  enterAt(window(1), 70);
  enterAt(window(2), 70);
  tracker.markAsMinimized(window(1));
  tracker.cleanupClosedWindows({});
  tracker.updateActiveWindows({}, std::nullopt);
  // Window 1 keeps its time but is no longer counted as minimized; window 2 is forgotten.
  EXPECT_EQ(tracker.getMinimizedWindowCount(), 0);
  EXPECT_EQ(tracker.getActiveWindowCount(), 1);
  EXPECT_THAT(ids(tracker.getWindowsToMinimize(0, 60.0, std::nullopt)), ElementsAre(1u));
}

TEST_F(TrackerTest, MinimizedWindowThatLeftTheListIsOfferedAgain) {
  for (std::uint32_t id = 1; id <= 3; ++id)
    enterAt(window(id), 61);
  enterAt(window(4), 90);
  EXPECT_THAT(ids(tracker.getWindowsToMinimize(3, 60.0, std::nullopt)), ElementsAre(4u));
  tracker.markAsMinimized(window(4));
  EXPECT_EQ(tracker.getMinimizedWindowCount(), 1);
  EXPECT_EQ(tracker.getActiveWindowCount(), 3);

  // Hidden, so absent from the next list: offered again at that very check.
  const std::vector<WindowInfo> rest = {window(1), window(2), window(3)};
  clock.advance(1);
  tracker.cleanupClosedWindows(rest);
  tracker.updateActiveWindows(rest, std::nullopt);
  EXPECT_THAT(ids(tracker.getWindowsToMinimize(3, 60.0, std::nullopt)), ElementsAre(4u));
  EXPECT_EQ(tracker.getMinimizedWindowCount(), 0);
  EXPECT_EQ(tracker.getActiveWindowCount(), 4);

  // Among the protected places it is not marked, and the next cleanup forgets it.
  tracker.cleanupClosedWindows(rest);
  EXPECT_EQ(tracker.getActiveWindowCount(), 3);
}

TEST_F(TrackerTest, WindowBackWhileStillMarkedIsNeverOffered) {
  enterAt(window(1), 100);
  tracker.markAsMinimized(window(1));
  tracker.cleanupClosedWindows({window(1)});
  tracker.updateActiveWindows({window(1)}, std::nullopt);
  clock.advance(100);
  EXPECT_THAT(tracker.getWindowsToMinimize(0, 60.0, std::nullopt), IsEmpty());
  EXPECT_EQ(tracker.getActiveWindowCount(), 0);
  EXPECT_GE(tracker.getActiveWindowCount(), 0);
}

class NanClock final : public Clock {
 public:
  mutable int reads = 0;
  double value = std::numeric_limits<double>::quiet_NaN();
  double now() const override {
    ++reads;
    return value;
  }
};

TEST(TrackerClockTest, DurationThatIsNotANumberNeverQualifies) {
  NanClock clock;
  WindowActivityTracker tracker(clock);
  tracker.updateActiveWindows({window(1), window(2)}, std::nullopt);
  EXPECT_THAT(tracker.getWindowsToMinimize(0, 60.0, std::nullopt), IsEmpty());
  EXPECT_THAT(
      tracker.getWindowsToMinimize(0, -std::numeric_limits<double>::infinity(), std::nullopt),
      IsEmpty());
}

TEST(TrackerClockTest, ClockIsReadOncePerOperation) {
  NanClock clock;
  clock.value = 1000.0;
  WindowActivityTracker tracker(clock);
  std::vector<WindowInfo> many;
  for (std::uint32_t id = 1; id <= 50; ++id)
    many.push_back(window(id, static_cast<int>(id % 3)));
  tracker.updateActiveWindows(many, 1);
  EXPECT_EQ(clock.reads, 1);
  clock.reads = 0;
  (void)tracker.getWindowsToMinimize(3, 60.0, 1);
  EXPECT_EQ(clock.reads, 1);
}

TEST_F(TrackerTest, ClockSetBackYieldsNoCandidates) {
  enterAt(window(1), 0);
  clock.advance(-3600);
  EXPECT_THAT(tracker.getWindowsToMinimize(0, 60.0, std::nullopt), IsEmpty());
}

}  // namespace
}  // namespace dozewick
