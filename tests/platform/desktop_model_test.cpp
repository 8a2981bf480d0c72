// The rules every backend's windows go through, once for all backends: what is listed, hidden,
// offered one by one, and which application is frontmost.
#include "platform/desktop_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "core/window_rules.h"

namespace dozewick {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::int32_t kOwnPid = 42;

// A desktop that takes every request and reports only what the test makes it report.
class FakeTransport final : public DesktopModel::Transport {
 public:
  bool reachable = true;
  Answer answer = Answer::taken;
  std::function<void()> onRefresh;  // what the desktop reports when asked again
  std::vector<std::vector<std::uint64_t>> requests;

  bool refresh() override {
    if (auto report = std::exchange(onRefresh, nullptr))
      report();
    return reachable;
  }
  Answer minimize(const std::vector<std::uint64_t>& ids) override {
    requests.push_back(ids);
    return answer;
  }
};

DesktopWindow window(std::uint64_t id, std::int32_t pid = 100, std::string title = "Doc") {
  return DesktopWindow{.id = id, .pid = pid, .application = "Editor", .title = std::move(title)};
}

class DesktopModelTest : public ::testing::Test {
 protected:
  std::vector<std::string> listedTitles() {
    std::vector<std::string> titles;
    for (const WindowInfo& info : getVisibleWindows(model))
      titles.push_back(info.title);
    return titles;
  }
  std::vector<std::uint64_t> offered(std::int32_t pid) {
    std::vector<std::uint64_t> ids;
    for (const AccessibleWindow& w :
         model.applicationWindows(pid).value_or(std::vector<AccessibleWindow>{}))
      ids.push_back(w.handle);
    return ids;
  }

  FakeTransport transport;
  std::ostringstream diagnostics;
  DesktopModel model{transport, kOwnPid, diagnostics};
};

TEST_F(DesktopModelTest, ListsOnlyApplicationWindowsOnScreenAndOffersOnlyTheirKinds) {
  const struct {
    const char* what;
    std::function<void(DesktopWindow&)> make;
    bool listed;
    bool offered;  // to the one-by-one path, minimized or not
  } rows[] = {
      {"an ordinary window", [](DesktopWindow&) {}, true, true},
      {"without application and title", [](DesktopWindow& w) { w.application = w.title = {}; },
       true, true},
      {"of Dozewick itself", [](DesktopWindow& w) { w.pid = kOwnPid; }, false, false},
      {"without a process", [](DesktopWindow& w) { w.pid = 0; }, false, false},
      {"that merely claims its process", [](DesktopWindow& w) { w.processRunsHere = false; }, true,
       true},
      {"on another desktop", [](DesktopWindow& w) { w.onCurrentDesktop = false; }, false, false},
      {"minimized", [](DesktopWindow& w) { w.minimized = true; }, false, true},
      {"out of the task bar", [](DesktopWindow& w) { w.skipsTaskbar = true; }, false, false},
      {"a dock, panel or utility", [](DesktopWindow& w) { w.type = WindowType::other; }, false,
       false},
      {"of a type Dozewick does not know", [](DesktopWindow& w) { w.type = WindowType::unknown; },
       false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    DesktopWindow w = window(7);
    row.make(w);
    model.report({w}, std::nullopt);
    EXPECT_EQ(listedTitles().size(), row.listed ? 1u : 0u);
    EXPECT_EQ(offered(w.pid),
              row.offered ? std::vector<std::uint64_t>{7} : std::vector<std::uint64_t>{});
  }
  model.report({window(1)}, std::nullopt);
  const auto info = getVisibleWindows(model).at(0);
  EXPECT_EQ(info.appName, "Editor");
  EXPECT_EQ(info.appPID, 100);
}

// Only the windows the listing counts go, never the docks, panels and utility windows of the
// application, nor its windows elsewhere; what was asked for counts as minimized until the
// desktop reports again.
TEST_F(DesktopModelTest, HidingAnApplicationMinimizesItsListedWindowsOnly) {
  std::vector<DesktopWindow> windows = {window(1, 100, "one"),         window(2, 100, "dock"),
                                        window(3, 100, "elsewhere"),   window(4, 100, "down"),
                                        window(5, 100, "no task bar"), window(6, 200, "other")};
  windows[1].type = WindowType::other;
  windows[2].onCurrentDesktop = false;
  windows[3].minimized = true;
  windows[4].skipsTaskbar = true;
  model.report(windows, std::nullopt);
  EXPECT_TRUE(model.hideApplication(100));
  EXPECT_THAT(transport.requests, ElementsAre(ElementsAre(1u)));
  EXPECT_THAT(listedTitles(), ElementsAre("other"));
  EXPECT_EQ(model.applicationWindows(100)->front().minimized, true);
  model.report(windows, std::nullopt);
  EXPECT_THAT(listedTitles(), ElementsAre("one", "other")) << "the desktop has not minimized it";

  windows[0].minimized = true;
  model.report(windows, std::nullopt);
  EXPECT_TRUE(model.hideApplication(100)) << "hidden already is hidden";
  EXPECT_EQ(transport.requests.size(), 1u);

  EXPECT_FALSE(model.hideApplication(kOwnPid));
  EXPECT_FALSE(model.hideApplication(300)) << "no such application";
  transport.answer = DesktopModel::Transport::Answer::refused;
  EXPECT_FALSE(model.hideApplication(200));
  EXPECT_THAT(listedTitles(), ElementsAre("other")) << "nothing marked";
}

// A desktop that had nothing to do says the model was out of date: what it holds now says whether
// the application still runs. Windows that merely claim a process are never hidden whole.
TEST_F(DesktopModelTest, AnOutdatedModelIsReadAgainAndClaimedProcessesAreNotHidden) {
  model.report({window(1), window(2, 200)}, std::nullopt);
  transport.answer = DesktopModel::Transport::Answer::outdated;
  transport.onRefresh = [this] { model.report({window(2, 200)}, std::nullopt); };
  EXPECT_FALSE(model.hideApplication(100)) << "it has quit";
  transport.onRefresh = [this] { model.report({window(2, 200)}, std::nullopt); };
  EXPECT_TRUE(model.hideApplication(200)) << "it still runs";

  DesktopWindow remote = window(3, 300);
  remote.processRunsHere = false;
  model.report({remote}, std::nullopt);
  EXPECT_FALSE(model.hideApplication(300));
  transport.answer = DesktopModel::Transport::Answer::taken;
  EXPECT_TRUE(minimizeWindow(model, getVisibleWindows(model).at(0)));
  EXPECT_THAT(transport.requests.back(), ElementsAre(3u)) << "one by one instead";
  EXPECT_FALSE(model.setMinimized(AccessibleWindow{99, {}, {}})) << "no such window";
}

TEST_F(DesktopModelTest, WhileDozewicksOwnWindowIsActiveTheApplicationBeforeStaysFrontmost) {
  const std::vector<DesktopWindow> windows = {window(1, 100), window(2, kOwnPid)};
  const struct {
    std::optional<std::int32_t> active;
    std::optional<std::int32_t> frontmost;
  } steps[] = {{100, 100},
               {kOwnPid, 100},
               {std::nullopt, std::nullopt},
               {kOwnPid, std::nullopt},
               {200, 200},
               {kOwnPid, 200},
               {0, std::nullopt}};
  for (const auto& step : steps) {
    model.report(windows, step.active);
    EXPECT_EQ(model.frontmostApplicationPID(), step.frontmost)
        << "active " << step.active.value_or(-1);
  }
}

// The loop looks at the listing again only when it is not the one it saw before.
TEST_F(DesktopModelTest, TheSameListingIsHandedOutAgainUntilSomethingListedChanges) {
  std::vector<DesktopWindow> windows = {window(1), window(2, 100, "dock")};
  windows[1].type = WindowType::other;
  model.report(windows, std::nullopt);
  const auto first = model.onScreenWindowEntries();
  windows[1].title = "dock, retitled";
  model.report(windows, 100);
  EXPECT_EQ(model.onScreenWindowEntries(), first) << "a focus change, a dock's title";
  windows[0].title = "Doc, edited";
  model.report(windows, 100);
  EXPECT_NE(model.onScreenWindowEntries(), first);
}

// Each window keeps one 32-bit number while it lives, also where the desktop's ids are wider.
TEST_F(DesktopModelTest, NumbersWindowsWhateverTheirIdsAndKeepsAtMostTheLimit) {
  const std::uint64_t wide = (std::uint64_t{1} << 40) + 1;
  model.report({window(1), window(wide), window(wide)}, std::nullopt);
  EXPECT_EQ(model.windows().size(), 2u) << "an id told twice is one window";
  const auto one = model.numberOf(1);
  const auto other = model.numberOf(wide);
  ASSERT_TRUE(one && other);
  EXPECT_NE(*one, *other);
  model.report({window(wide), window(3)}, std::nullopt);
  EXPECT_EQ(model.numberOf(wide), other);
  EXPECT_FALSE(model.numberOf(1));
  EXPECT_NE(model.numberOf(3), one);

  std::vector<DesktopWindow> many;
  for (std::uint64_t id = 1; id <= DesktopModel::kMaxWindows + 6; ++id)
    many.push_back(window(id));
  model.report(many, std::nullopt);
  model.report(many, std::nullopt);
  EXPECT_EQ(model.windows().size(), DesktopModel::kMaxWindows);
  EXPECT_EQ(model.windows().back().id, DesktopModel::kMaxWindows) << "the first ones";
  EXPECT_EQ(diagnostics.str(),
            "Dozewick: the desktop lists 1030 windows; only the first 1024 are watched.\n");
}

TEST_F(DesktopModelTest, AnswersNothingWhileTheDesktopIsUnknownOrOutOfReach) {
  EXPECT_FALSE(model.onScreenWindowEntries()) << "nothing reported yet";
  model.report({window(1)}, 100);
  transport.reachable = false;
  EXPECT_FALSE(model.onScreenWindowEntries());
  EXPECT_FALSE(model.frontmostApplicationPID());
  EXPECT_FALSE(model.hideApplication(100));
  EXPECT_FALSE(model.applicationWindows(100));
  transport.reachable = true;
  EXPECT_EQ(model.frontmostApplicationPID(), 100);
  model.forget();
  EXPECT_FALSE(model.onScreenWindowEntries());
  EXPECT_FALSE(model.frontmostApplicationPID());
  EXPECT_TRUE(transport.requests.empty());
}

}  // namespace
}  // namespace dozewick
