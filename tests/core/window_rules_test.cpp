#include "core/window_rules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_window_system.h"

namespace dozewick {
namespace {

using ::testing::ElementsAre;
using testing::FakeWindowSystem;
using ::testing::IsEmpty;

// A window system that lists exactly the entries a test gives it.
class ListingOnly final : public WindowSystem {
 public:
  std::optional<std::vector<WindowEntry>> entries = std::vector<WindowEntry>{};
  std::optional<std::vector<WindowEntry>> onScreenWindowEntries() override { return entries; }
  bool hideApplication(std::int32_t) override { return false; }
  std::optional<std::vector<AccessibleWindow>> applicationWindows(std::int32_t) override {
    return std::nullopt;
  }
  bool setMinimized(const AccessibleWindow&) override { return false; }
  std::optional<std::int32_t> frontmostApplicationPID() override { return std::nullopt; }
};

WindowEntry entry(EntryValue number, EntryValue pid = std::int64_t{10},
                  EntryValue name = std::string("App"), EntryValue title = std::string("T"),
                  EntryValue layer = std::int64_t{0}) {
  return WindowEntry{std::move(layer), std::move(number), std::move(pid), std::move(name),
                     std::move(title)};
}

std::vector<std::uint32_t> listedIDs(ListingOnly& system) {
  std::vector<std::uint32_t> ids;
  for (const auto& w : getVisibleWindows(system))
    ids.push_back(w.windowID);
  return ids;
}

TEST(VisibleWindowsTest, OnlyOrdinaryLayerWithValidNumbersIsListed) {
  ListingOnly system;
  system.entries = {
      entry(std::int64_t{1}),
      entry(std::int64_t{2}, std::int64_t{10}, "App", "T", std::monostate{}),  // no layer
      entry(std::int64_t{3}, std::int64_t{10}, "App", "T", std::int64_t{3}),   // layer 3
      entry(std::int64_t{4}, std::int64_t{10}, "App", "T", std::string("0")),  // not a number
      entry(std::int64_t{5}, std::int64_t{10}, "App", "T", 0.0),               // a number 0
      entry(std::monostate{}),                                                 // no number
      entry(std::int64_t{7}, std::monostate{}),                                // no owner
      entry(std::int64_t{-1}),                                                 // below u32
      entry(std::int64_t{0x1'0000'0000}),                                      // above u32
      entry(std::int64_t{0xFFFF'FFFF}),                                        // largest u32
      entry(std::int64_t{11}, std::int64_t{0x8000'0000}),                      // pid above i32
      entry(std::int64_t{12}, std::int64_t{-5}),                               // negative pid
      entry(13.5),                                                             // fractional
      entry(std::int64_t{14}, true),                                           // wrong type
      entry(1e300),                                                            // huge
  };
  EXPECT_THAT(listedIDs(system), ElementsAre(1u, 5u, 0xFFFF'FFFFu, 12u));
}

TEST(VisibleWindowsTest, MissingNamesGetDefaults) {
  ListingOnly system;
  system.entries = {entry(std::int64_t{1}, std::int64_t{10}, std::monostate{}, std::monostate{}),
                    entry(std::int64_t{2}, std::int64_t{10}, std::int64_t{5}, 7.0)};
  const auto windows = getVisibleWindows(system);
  ASSERT_EQ(windows.size(), 2u);
  for (const auto& w : windows) {
    EXPECT_EQ(w.appName, "Unknown");
    EXPECT_EQ(w.title, "");
  }
}

TEST(VisibleWindowsTest, UnreadableListIsEmpty) {
  ListingOnly system;
  system.entries = std::nullopt;
  EXPECT_THAT(getVisibleWindows(system), IsEmpty());
}

TEST(VisibleWindowsTest, DesktopWindowsAreLeftOut) {
  ListingOnly system;
  system.entries = {entry(std::int64_t{1}, std::int64_t{1}, "Dock"),
                    entry(std::int64_t{2}, std::int64_t{1}, "Finder", ""),
                    entry(std::int64_t{3}, std::int64_t{1}, "Finder", "Documents"),
                    entry(std::int64_t{4}, std::int64_t{1}, "Editor", "Menubar"),
                    entry(std::int64_t{5}, std::int64_t{1}, "dock")};
  EXPECT_THAT(listedIDs(system), ElementsAre(3u, 5u));
}

TEST(ExclusionTest, FixedNamesAndTitles) {
  for (const char* name : {"Window Server", "SystemUIServer", "Dock", "loginwindow", "spotlight"}) {
    EXPECT_TRUE(shouldExcludeApp(name, "anything")) << name;
    EXPECT_TRUE(shouldExcludeApp(name, "")) << name;
  }
  EXPECT_TRUE(shouldExcludeApp("Finder", ""));
  EXPECT_FALSE(shouldExcludeApp("Finder", "Downloads"));
  EXPECT_TRUE(shouldExcludeApp("Terminal", "菜单栏"));
  EXPECT_TRUE(shouldExcludeApp("Terminal", "Menubar"));
  EXPECT_FALSE(shouldExcludeApp("Terminal", ""));
}

TEST(ExclusionTest, ComparisonIsExactAndCaseSensitive) {
  for (const char* name : {"DOCK", "Spotlight", "LoginWindow", "Dock ", " Dock", "Window  Server",
                           "finder", "SystemUIServer2"}) {
    EXPECT_FALSE(shouldExcludeApp(name, "x")) << name;
  }
  EXPECT_FALSE(shouldExcludeApp("Finder ", ""));
  EXPECT_FALSE(shouldExcludeApp("Terminal", "menubar"));
  EXPECT_FALSE(shouldExcludeApp("Terminal", "Menubar "));
  EXPECT_FALSE(shouldExcludeApp("Terminal", "菜单"));
  EXPECT_FALSE(shouldExcludeApp(std::string_view("Dock\0", 5), "x"));
}

TEST(ExclusionTest, InvalidUtf8IsNeverAnExcludedName) {
  EXPECT_FALSE(
      shouldExcludeApp("Do\xFF"
                       "ck",
                       "x"));
  EXPECT_FALSE(shouldExcludeApp("App", "\xE8\x8F\x9C\xE5\x8D"));
}

class MinimizeTest : public ::testing::Test {
 protected:
  FakeWindowSystem system;
};

TEST_F(MinimizeTest, RunningApplicationIsHiddenWhole) {
  system.open(1, 50, "One");
  system.open(2, 50, "Two");
  system.open(3, 60, "Other");
  EXPECT_TRUE(minimizeWindow(system, WindowInfo{1, 50, "App", "One"}));
  EXPECT_TRUE(system.windows[0].minimized);
  EXPECT_TRUE(system.windows[1].minimized);
  EXPECT_FALSE(system.windows[2].minimized);
  EXPECT_THAT(system.minimizeRequests, IsEmpty());
  // Asking again for another window of the now hidden application answers true again.
  EXPECT_TRUE(minimizeWindow(system, WindowInfo{2, 50, "App", "Two"}));
}

TEST_F(MinimizeTest, WithoutRunningApplicationTheMatchingWindowIsMinimized) {
  system.windows = {
      {1, 70, "Remote", "Report"}, {2, 70, "Remote", "Notes"}, {3, 70, "Remote", "Notes"}};
  EXPECT_TRUE(minimizeWindow(system, WindowInfo{2, 70, "Remote", "Notes"}));
  EXPECT_THAT(system.minimizeRequests, ElementsAre(2u));
  // The first window with that title is minimized already: the next one is taken.
  EXPECT_TRUE(minimizeWindow(system, WindowInfo{3, 70, "Remote", "Notes"}));
  EXPECT_THAT(system.minimizeRequests, ElementsAre(2u, 3u));
  EXPECT_FALSE(minimizeWindow(system, WindowInfo{3, 70, "Remote", "Notes"}));
}

TEST_F(MinimizeTest, EmptyTitleTakesTheFirstWindowNotMinimized) {
  system.windows = {{1, 70, "Remote", "A", true}, {2, 70, "Remote", "B"}};
  EXPECT_TRUE(minimizeWindow(system, WindowInfo{9, 70, "Remote", ""}));
  EXPECT_THAT(system.minimizeRequests, ElementsAre(2u));
}

TEST_F(MinimizeTest, ChangedTitleIsNotFound) {
  system.windows = {{1, 70, "Remote", "New title"}};
  EXPECT_FALSE(minimizeWindow(system, WindowInfo{1, 70, "Remote", "Old title"}));
  EXPECT_THAT(system.minimizeRequests, IsEmpty());
}

TEST_F(MinimizeTest, RefusedWindowFallsThroughToTheNextMatch) {
  system.windows = {{1, 70, "Remote", "Same"}, {2, 70, "Remote", "Same"}};
  system.refuseMinimize = {1};
  EXPECT_TRUE(minimizeWindow(system, WindowInfo{1, 70, "Remote", "Same"}));
  EXPECT_THAT(system.minimizeRequests, ElementsAre(1u, 2u));
}

TEST_F(MinimizeTest, NoWindowsMeansFalse) {
  EXPECT_FALSE(minimizeWindow(system, WindowInfo{1, 70, "Gone", ""}));
}

TEST_F(MinimizeTest, TitleMatchTreatsCanonicalEquivalentsAsEqual) {
  system.windows = {{1, 70, "Remote", "Caf\u00E9"}};
  EXPECT_TRUE(minimizeWindow(system, WindowInfo{1, 70, "Remote", "Cafe\u0301"}));
}

}  // namespace
}  // namespace dozewick
