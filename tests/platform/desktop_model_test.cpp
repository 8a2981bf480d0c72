// The rules every backend's windows go through, tested once for all backends.
#include "platform/desktop_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "core/window_rules.h"
#include "support/virtual_runtime.h"

namespace dozewick {
namespace {

using ::testing::ElementsAre;
using Answer = DesktopModel::Transport::Answer;

constexpr std::int32_t kOwnPid = 42;

// A desktop that takes every request and reports only what the test makes it report.
struct FakeTransport final : DesktopModel::Transport {
  bool reachable = true;
  Answer answer = Answer::taken;
  std::function<void()> onRefresh;  // what the desktop reports when asked again
  std::vector<std::vector<std::uint64_t>> requests;
  std::vector<std::vector<std::uint64_t>> restores;

  bool refresh() override {
    if (auto report = std::exchange(onRefresh, nullptr))
      report();
    return reachable;
  }
  Answer minimize(const std::vector<std::uint64_t>& ids) override {
    requests.push_back(ids);
    return answer;
  }
  Answer restore(const std::vector<std::uint64_t>& ids) override {
    restores.push_back(ids);
    return answer;
  }
};

DesktopWindow window(std::uint64_t id, std::int32_t pid = 100, std::string title = "Doc") {
  return DesktopWindow{.id = id, .pid = pid, .application = "Editor", .title = std::move(title)};
}

class DesktopModelTest : public ::testing::Test {
 protected:
  std::vector<std::string> listed() {
    std::vector<std::string> titles;
    for (const WindowInfo& info : getVisibleWindows(model))
      titles.push_back(info.title);
    return titles;
  }

  FakeTransport transport;
  std::ostringstream diagnostics;
  testing::ManualClock clock{1000};
  DesktopModel model{transport, kOwnPid, diagnostics, DesktopModel::Order::unordered, &clock};
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
    DesktopWindow w = window(7);
    row.make(w);
    model.report({w}, std::nullopt);
    EXPECT_EQ(listed().size(), row.listed ? 1u : 0u) << row.what;
    EXPECT_EQ(model.applicationWindows(w.pid).value_or(std::vector<AccessibleWindow>{}).size(),
              row.offered ? 1u : 0u)
        << row.what;
  }
}

// Only the windows the listing counts go, never the docks, panels and utility windows of the
// application, nor its windows elsewhere; what was asked for is on screen until the desktop
// reports it minimized.
TEST_F(DesktopModelTest, HidingAnApplicationMinimizesItsListedWindowsOnly) {
  std::vector<DesktopWindow> windows = {window(1, 100, "one"),         window(2, 100, "dock"),
                                        window(3, 100, "elsewhere"),   window(4, 100, "down"),
                                        window(5, 100, "no task bar"), window(6, 200, "other")};
  windows[1].type = WindowType::other;
  windows[2].onCurrentDesktop = false;
  windows[3].minimized = windows[4].skipsTaskbar = true;
  model.report(windows, std::nullopt);
  EXPECT_TRUE(model.hideApplication(100));
  EXPECT_THAT(transport.requests, ElementsAre(ElementsAre(1u)));
  EXPECT_THAT(listed(), ElementsAre("one", "other")) << "the desktop has not minimized it yet";
  EXPECT_EQ(model.applicationWindows(100)->front().minimized, false);

  windows[0].minimized = true;
  model.report(windows, std::nullopt);
  EXPECT_TRUE(model.hideApplication(100)) << "hidden already is hidden";
  EXPECT_EQ(transport.requests.size(), 1u);
  EXPECT_FALSE(model.hideApplication(kOwnPid));
  EXPECT_FALSE(model.hideApplication(300)) << "no such application";
  transport.answer = Answer::refused;
  EXPECT_FALSE(model.hideApplication(200));
  EXPECT_THAT(listed(), ElementsAre("other")) << "nothing marked";

  // Restored in the order named: not a gone window, a dock, or one on screen.
  windows[1].minimized = true;
  model.report(windows, std::nullopt);
  EXPECT_FALSE(model.restoreWindows({*model.numberOf(1)})) << "refused";
  transport.answer = Answer::taken;
  const std::vector<std::uint32_t> named = {*model.numberOf(4), *model.numberOf(2), 99999,
                                            *model.numberOf(6), *model.numberOf(1)};
  EXPECT_TRUE(model.restoreWindows(named));
  EXPECT_THAT(transport.restores, ElementsAre(ElementsAre(1u), ElementsAre(4u, 1u)));
}

// A window counts as gone once the desktop reports it minimized or it is gone; one the desktop
// keeps past the answer time is asked again only after a doubling back-off, or once its
// application has been active again.
TEST_F(DesktopModelTest, AWindowGoesWhenTheDesktopSaysSoAndAKeptOneIsLeftBe) {
  std::vector<DesktopWindow> windows = {window(1, 100), window(2, 200), window(3, 300)};
  model.report(windows, std::nullopt);
  const auto outcome = [this](std::uint64_t id) {
    return model.minimizeOutcome(*model.numberOf(id));
  };
  const auto asks = [this] { return transport.requests.size(); };

  EXPECT_TRUE(model.hideApplication(200));
  EXPECT_EQ(outcome(2), MinimizeOutcome::pending);
  clock.advance(DesktopModel::kAnswerTime - 0.1);
  EXPECT_TRUE(model.hideApplication(200)) << "on its way";
  EXPECT_EQ(asks(), 1u) << "not asked twice";
  clock.advance(0.1);
  EXPECT_EQ(outcome(2), MinimizeOutcome::kept);
  EXPECT_EQ(model.keptWindowCount(), 1);
  EXPECT_TRUE(model.keepsEveryWindow());

  EXPECT_TRUE(model.hideApplication(100));
  windows[0].minimized = true;
  model.report(windows, std::nullopt);
  EXPECT_EQ(outcome(1), MinimizeOutcome::minimized);
  EXPECT_FALSE(model.keepsEveryWindow()) << "it iconifies some";

  for (const double backOff : {DesktopModel::kFirstBackOff, 2 * DesktopModel::kFirstBackOff}) {
    const double kept = clock.now();
    for (; clock.now() < kept + backOff - 1; clock.advance(1))
      EXPECT_FALSE(model.hideApplication(200) ||
                   minimizeWindow(model, getVisibleWindows(model)[0]));
    EXPECT_EQ(asks(), 2u) << "no request while kept";
    clock.set(kept + backOff);
    EXPECT_TRUE(model.hideApplication(200));
    EXPECT_EQ(asks(), 3u) << "asked again after " << backOff;
    clock.advance(DesktopModel::kAnswerTime);
    EXPECT_EQ(outcome(2), MinimizeOutcome::kept);
    transport.requests.pop_back();
  }
  model.report(windows, 200);
  model.report(windows, 100);
  EXPECT_TRUE(model.hideApplication(200)) << "active again, so asked again at once";
  EXPECT_EQ(asks(), 3u);

  EXPECT_TRUE(model.hideApplication(300));
  const std::uint32_t closed = *model.numberOf(3);
  windows.pop_back();
  model.report(windows, std::nullopt);
  EXPECT_EQ(model.minimizeOutcome(closed), MinimizeOutcome::minimized) << "closed on the way";
  model.forget();
  EXPECT_FALSE(model.keepsEveryWindow());
}

// A desktop that had nothing to do says the model was out of date: what it holds now says whether
// the application still runs. Windows that merely claim a process are never hidden whole.
TEST_F(DesktopModelTest, AnOutdatedModelIsReadAgainAndClaimedProcessesAreNotHidden) {
  model.report({window(1), window(2, 200)}, std::nullopt);
  transport.answer = Answer::outdated;
  transport.onRefresh = [this] { model.report({window(2, 200)}, std::nullopt); };
  EXPECT_FALSE(model.hideApplication(100)) << "it has quit";
  transport.onRefresh = [this] { model.report({window(2, 200)}, std::nullopt); };
  EXPECT_TRUE(model.hideApplication(200)) << "it still runs";

  DesktopWindow remote = window(3, 300);
  remote.processRunsHere = false;
  model.report({remote}, std::nullopt);
  EXPECT_FALSE(model.hideApplication(300));
  transport.answer = Answer::taken;
  EXPECT_TRUE(minimizeWindow(model, getVisibleWindows(model).at(0)));
  EXPECT_THAT(transport.requests.back(), ElementsAre(3u)) << "one by one instead";
  EXPECT_FALSE(model.setMinimized(AccessibleWindow{99, {}, {}})) << "no such window";
}

// A click on the tray icon may pass the focus through the tray, or leave none for a moment, on
// its way to Dozewick's panel.
TEST_F(DesktopModelTest, WhileDozewicksOwnWindowIsActiveTheApplicationBeforeStaysFrontmost) {
  std::vector<DesktopWindow> windows = {window(1, 100), window(2, kOwnPid), window(3, 200),
                                        window(4, 300)};
  windows[3].type = WindowType::other;  // the tray
  constexpr std::int32_t none = -1;
  const std::pair<std::int32_t, std::int32_t> steps[] = {
      // active, then frontmost
      {none, none}, {kOwnPid, none}, {100, 100}, {kOwnPid, 100}, {300, 300}, {kOwnPid, 100},
      {none, none}, {kOwnPid, 100},  {200, 200}, {kOwnPid, 200}, {0, none}};
  for (const auto& [active, frontmost] : steps) {
    model.report(windows, active == none ? std::nullopt : std::optional(active));
    EXPECT_EQ(model.frontmostApplicationPID().value_or(none), frontmost) << "active " << active;
  }

  // A desktop that reports its windows topmost first says it better, also when it was not asked
  // between the user's last click and the panel's (an X11 window manager).
  DesktopModel stacked(transport, kOwnPid, diagnostics, DesktopModel::Order::topmostFirst);
  stacked.report(windows, 100);
  std::swap(windows[0], windows[2]);
  stacked.report(windows, kOwnPid);
  EXPECT_EQ(stacked.frontmostApplicationPID(), 200);
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
  ASSERT_TRUE(one && other && *one != *other);
  model.report({window(wide), window(3)}, std::nullopt);
  EXPECT_EQ(model.numberOf(wide), other);

  std::vector<DesktopWindow> many;
  for (std::uint64_t id = 1; id <= DesktopModel::kMaxWindows + 6; ++id)
    many.push_back(window(id));
  model.report(many, std::nullopt);
  model.report(many, std::nullopt);
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
  model.forget();
  EXPECT_FALSE(model.onScreenWindowEntries());
}

}  // namespace
}  // namespace dozewick
