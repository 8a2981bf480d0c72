// The activity tracker: which windows go, in virtual time.
#include "core/window_activity_tracker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "support/virtual_runtime.h"

namespace dozewick {
namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

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
  // Enters the window alone, `ago` seconds before now, by listing it once at that time.
  void enterAt(const WindowInfo& w, double ago) {
    clock.set(base - ago);
    tracker.updateActiveWindows({w}, std::nullopt);
    clock.set(base);
  }
  std::vector<std::uint32_t> chosen(std::size_t protectedTopN,
                                    std::optional<std::int32_t> frontmost = std::nullopt) {
    return ids(tracker.getWindowsToMinimize(protectedTopN, 60.0, frontmost));
  }

  double base = 1'800'000'000.0;
  testing::ManualClock clock{base};
  WindowActivityTracker tracker{clock};
};

// Window i (from 1) was last active durations[i-1] seconds ago; pid 7 owns the even windows.
TEST_F(TrackerTest, ChoosesTheCandidatesBeyondTheProtectedMostRecentOnes) {
  const struct {
    std::vector<double> durations;
    std::size_t protectedTopN;
    std::optional<std::int32_t> frontmost;
    std::vector<std::uint32_t> result;
  } cases[] = {
      {{60.0, 59.999}, 0, {}, {1}},  // the threshold is inclusive to the millisecond
      {{61, 70, 65, 90}, 3, {}, {4}},
      {{61, 62, 63, 64, 65}, 3, {}, {4, 5}},
      {{61, 62, 63, 64, 65}, 0, {}, {1, 2, 3, 4, 5}},
      {{61, 62, 63, 64, 65}, 5, {}, {}},
      {{10, 20, 61, 62, 63, 64}, 3, {}, {6}},  // windows under the threshold protect nothing
      {{100, 101, 102, 103, 104}, 0, 7, {1, 3, 5}},
      {{61, 900, 62, 900, 63, 900}, 2, 7, {5}},  // the frontmost application takes no place
      {{0, -3600}, 0, {}, {}},                   // a clock set back
  };
  for (const auto& c : cases) {
    tracker.reset();
    std::uint32_t id = 0;
    for (const double ago : c.durations) {
      ++id;
      enterAt(window(id, id % 2 == 0 ? 7 : 8), ago);
    }
    EXPECT_THAT(chosen(c.protectedTopN, c.frontmost), ElementsAreArray(c.result))
        << ::testing::PrintToString(c.durations) << " top " << c.protectedTopN;
  }
}

// Window i (from 1) was last active durations[i-1] seconds ago; the even windows belong to "Café",
// written composed, the odd ones to "App". Kept applications are exempt like the frontmost one.
TEST_F(TrackerTest, KeptApplicationsAreNeverChosenAndTakeNoProtectedPlace) {
  const std::string decomposed = "Cafe\u0301";
  const struct {
    std::vector<double> durations;
    std::size_t protectedTopN;
    std::vector<std::string> neverHide;
    std::vector<std::uint32_t> result;
  } cases[] = {
      {{61, 900, 62, 900, 63, 900}, 2, {"Caf\u00e9"}, {5}},
      {{61, 900, 62, 900, 63, 900}, 2, {decomposed}, {5}},             // canonically equal names
      {{61, 900, 62, 901}, 0, {"café", "CAFÉ", "Caf"}, {1, 3, 2, 4}},  // otherwise exact
      {{61, 900, 62, 900}, 1, {"App", "Caf\u00e9"}, {}},
  };
  for (const auto& c : cases) {
    tracker.reset();
    std::uint32_t id = 0;
    for (const double ago : c.durations) {
      ++id;
      enterAt(WindowInfo{id, static_cast<std::int32_t>(id), id % 2 ? "App" : "Caf\u00e9", ""}, ago);
    }
    EXPECT_THAT(ids(tracker.getWindowsToMinimize(c.protectedTopN, 60.0, std::nullopt, c.neverHide)),
                ElementsAreArray(c.result))
        << ::testing::PrintToString(c.neverHide);
    EXPECT_EQ(tracker.getActiveWindowCount(), std::ssize(c.durations)) << "kept windows count";
  }
}

// Being listed again refreshes nothing; every listed window of the frontmost application is
// refreshed, not only one.
TEST_F(TrackerTest, OnlyTheFrontmostApplicationsWindowsAreStampedAgainAllOfThem) {
  const std::vector<WindowInfo> list = {window(1, 7), window(2, 7), window(3, 8)};
  tracker.updateActiveWindows(list, std::nullopt);
  clock.advance(100);
  tracker.updateActiveWindows(list, 7);
  clock.advance(30);
  EXPECT_THAT(chosen(0), ElementsAreArray({3u}));
}

TEST_F(TrackerTest, AMinimizedWindowKeepsItsFirstRecordAndIsOfferedAgainOnceGone) {
  for (std::uint32_t id = 1; id <= 3; ++id)
    enterAt(window(id), 61);
  enterAt(window(4, 100, "old title"), 90);
  tracker.updateActiveWindows({window(4, 100, "new title")}, std::nullopt);
  const auto first = tracker.getWindowsToMinimize(3, 60.0, std::nullopt);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].title, "old title");
  tracker.markAsMinimized(window(4, 100, "newest title"));
  EXPECT_EQ(tracker.getMinimizedWindowCount(), 1);
  EXPECT_EQ(tracker.getActiveWindowCount(), 3);

  // Hidden, so absent from the next list: offered again at that very check, first record and all.
  const std::vector<WindowInfo> rest = {window(1), window(2), window(3)};
  clock.advance(1);
  tracker.cleanupClosedWindows(rest);
  tracker.updateActiveWindows(rest, std::nullopt);
  const auto again = tracker.getWindowsToMinimize(3, 60.0, std::nullopt);
  ASSERT_EQ(ids(again), std::vector<std::uint32_t>{4});
  EXPECT_EQ(again[0].title, "old title");
  EXPECT_EQ(tracker.getMinimizedWindowCount(), 0);
  EXPECT_EQ(tracker.getActiveWindowCount(), 4);
  // Not marked this time: the next cleanup forgets it.
  tracker.cleanupClosedWindows(rest);
  EXPECT_EQ(tracker.getActiveWindowCount(), 3);

  // An empty list keeps only the times of windows marked minimized.
  tracker.markAsMinimized(window(1));
  tracker.cleanupClosedWindows({});
  EXPECT_EQ(tracker.getActiveWindowCount(), 1);
  EXPECT_EQ(tracker.getMinimizedWindowCount(), 0);
}

TEST_F(TrackerTest, AWindowBackWhileStillMarkedIsNeverOffered) {
  enterAt(window(1), 100);
  tracker.markAsMinimized(window(1));
  tracker.cleanupClosedWindows({window(1)});
  tracker.updateActiveWindows({window(1)}, std::nullopt);
  clock.advance(100);
  EXPECT_THAT(chosen(0), IsEmpty());
  EXPECT_EQ(tracker.getActiveWindowCount(), 0);
}

class CountingClock final : public Clock {
 public:
  mutable int reads = 0;
  double value = std::numeric_limits<double>::quiet_NaN();
  double now() const override {
    ++reads;
    return value;
  }
};

TEST(TrackerClockTest, ReadOncePerOperationAndADurationThatIsNotANumberNeverQualifies) {
  CountingClock clock;
  WindowActivityTracker tracker(clock);
  std::vector<WindowInfo> many;
  for (std::uint32_t id = 1; id <= 50; ++id)
    many.push_back(window(id, static_cast<int>(id % 3)));
  tracker.updateActiveWindows(many, 1);
  EXPECT_EQ(clock.reads, 1);
  EXPECT_THAT(tracker.getWindowsToMinimize(0, -std::numeric_limits<double>::infinity(), 1),
              IsEmpty());
  EXPECT_EQ(clock.reads, 2);
}

}  // namespace
}  // namespace dozewick
