// The window rules: which entries are application windows, and how one goes away.
#include "core/window_rules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_window_system.h"

namespace dozewick {
namespace {

using ::testing::ElementsAre;
using testing::FakeWindowSystem;
using ::testing::IsEmpty;

WindowEntry entry(EntryValue number, EntryValue pid = std::int64_t{10},
                  EntryValue name = std::string("App"), EntryValue title = std::string("T"),
                  EntryValue layer = std::int64_t{0}) {
  return WindowEntry{std::move(layer), std::move(number), std::move(pid), std::move(name),
                     std::move(title)};
}

std::vector<std::uint32_t> listedIDs(const std::vector<WindowEntry>& entries) {
  std::vector<std::uint32_t> ids;
  for (const auto& w : getVisibleWindows(entries))
    ids.push_back(w.windowID);
  return ids;
}

TEST(VisibleWindowsTest, OnlyOrdinaryLayerWithValidNumbersIsListed) {
  const std::vector<WindowEntry> entries = {
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
  EXPECT_THAT(listedIDs(entries), ElementsAre(1u, 5u, 0xFFFF'FFFFu, 12u));
}

TEST(VisibleWindowsTest, MissingNamesGetDefaultsAndDesktopWindowsAreLeftOut) {
  const auto windows = getVisibleWindows(
      {entry(std::int64_t{1}, std::int64_t{10}, std::monostate{}, std::monostate{}),
       entry(std::int64_t{2}, std::int64_t{10}, std::int64_t{5}, 7.0),
       entry(std::int64_t{3}, std::int64_t{1}, "Dock"),
       entry(std::int64_t{4}, std::int64_t{1}, "Editor", "Menubar")});
  ASSERT_EQ(windows.size(), 2u);
  for (const auto& w : windows) {
    EXPECT_EQ(w.appName, "Unknown");
    EXPECT_EQ(w.title, "");
  }
  FakeWindowSystem unreadable;
  unreadable.listingFails = true;
  EXPECT_THAT(getVisibleWindows(unreadable), IsEmpty());
}

TEST(ExclusionTest, FixedNamesAndTitlesExactlyAsWritten) {
  const struct {
    std::string_view name, title;
    bool excluded;
  } cases[] = {
      {"Window Server", "x", true},
      {"SystemUIServer", "", true},
      {"Dock", "x", true},
      {"loginwindow", "x", true},
      {"spotlight", "x", true},
      {"Finder", "", true},
      {"Finder", "Downloads", false},
      {"Terminal", "菜单栏", true},
      {"Terminal", "Menubar", true},
      {"Terminal", "", false},
      {"DOCK", "x", false},
      {"Spotlight", "x", false},
      {" Dock", "x", false},
      {"Terminal", "menubar", false},
      {"Terminal", "菜单", false},
      {std::string_view("Dock\0", 5), "x", false},
      {"Do\xFF"
       "ck",
       "x", false},
      {"App", "\xE8\x8F\x9C\xE5\x8D", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(shouldExcludeApp(c.name, c.title), c.excluded) << c.name << " / " << c.title;
}

class MinimizeTest : public ::testing::Test {
 protected:
  FakeWindowSystem system;
};

// Through the application alone, never also window by window.
TEST_F(MinimizeTest, ARunningApplicationIsHiddenWhole) {
  system.open(1, 50, "One");
  system.open(2, 50, "Two");
  EXPECT_TRUE(minimizeWindow(system, WindowInfo{1, 50, "App", "One"}));
  EXPECT_THAT(system.hideRequests, ElementsAre(50));
  EXPECT_THAT(system.minimizeRequests, IsEmpty());
  EXPECT_TRUE(minimizeWindow(system, WindowInfo{2, 50, "App", "Two"})) << "hidden already";
}

// Without a running application: the first window with the recorded title that is not minimized
// and whose minimizing works; with an empty recorded title, any window.
TEST_F(MinimizeTest, OtherwiseTheFirstMatchingWindowIsMinimized) {
  EXPECT_FALSE(minimizeWindow(system, WindowInfo{1, 70, "Gone", ""}));
  system.windows = {{1, 70, "Remote", "Report"},
                    {2, 70, "Remote", "Notes"},
                    {3, 70, "Remote", "Notes"},
                    {4, 70, "Remote", "Caf\u00E9"}};
  system.refuseMinimize = {2};
  EXPECT_TRUE(minimizeWindow(system, WindowInfo{2, 70, "Remote", "Notes"}));
  EXPECT_THAT(system.minimizeRequests, ElementsAre(2u, 3u));
  EXPECT_FALSE(minimizeWindow(system, WindowInfo{3, 70, "Remote", "Notes"}));
  EXPECT_FALSE(minimizeWindow(system, WindowInfo{1, 70, "Remote", "Old title"}));
  EXPECT_TRUE(minimizeWindow(system, WindowInfo{4, 70, "Remote", "Cafe\u0301"}));
  EXPECT_TRUE(minimizeWindow(system, WindowInfo{9, 70, "Remote", ""}));
  EXPECT_THAT(system.minimizeRequests, ElementsAre(2u, 3u, 2u, 4u, 1u));
}

}  // namespace
}  // namespace dozewick
