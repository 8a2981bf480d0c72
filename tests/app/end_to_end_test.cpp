// The whole program in a real X session with a tray, under each window manager the suite runs
// (openbox, xfwm4): started as a user would, driven by synthetic input through XTest, and observed
// through X (window geometry and state) and through the program's test probe (where its controls
// are and what they read).
#include <gtest/gtest.h>
#include <unistd.h>

#include "x_driver.h"

namespace {

using namespace dozewick::xdriver;
using namespace std::chrono_literals;

using EndToEnd = ProgramTest;

TEST_F(EndToEnd, TrayPanelAndTheLoopMinimizeTheLeastRecentlyUsedWindows) {
  // Five windows of five processes, and two of the test's own: one ends up frontmost, the other
  // is never used and stays only because its application is in front.
  std::vector<std::unique_ptr<Child>> clients;
  std::vector<xcb_window_t> windows;
  for (int i = 1; i <= 5; ++i) {
    clients.push_back(std::make_unique<Child>(std::vector<std::string>{DOZEWICK_X_TEST_CLIENT}));
    ASSERT_EQ(clients.back()->readLine(), "ok ready");
    const std::string answer = clients.back()->ask("open\ttitle=Test window " + std::to_string(i) +
                                                   "\tclass=test" + std::to_string(i) + ",Test");
    ASSERT_EQ(answer.rfind("ok ", 0), 0u) << answer;
    windows.push_back(static_cast<xcb_window_t>(std::stoul(answer.substr(3))));
  }
  const xcb_window_t ownBehind = display.openOwnWindow("The test, never used");
  const xcb_window_t own = display.openOwnWindow("The test itself");

  // The program starts, and its icon appears in the tray.
  auto program = launchProgram();
  std::optional<Rect> icon;
  ASSERT_TRUE(waitUntil([&] { return (icon = embeddedTrayIcon(program->pid())).has_value(); }, 20s))
      << "no icon of the program was embedded in the tray";
  ASSERT_TRUE(waitUntil([&] { return probe().tray && probe().tray->w > 0; }, 10s));
  EXPECT_EQ(probe().tray->x, icon->x);
  EXPECT_EQ(probe().tray->y, icon->y);

  // A click on the icon opens the panel below it.
  display.click(icon->centerX(), icon->centerY());
  std::optional<xcb_window_t> panel;
  ASSERT_TRUE(
      waitUntil([&] { return (panel = shownPanelWindow(program->pid())).has_value(); }, 10s));
  const Rect placed = *display.geometry(*panel);
  EXPECT_EQ(placed.w, 260);
  EXPECT_EQ(placed.h, 400);
  EXPECT_GE(placed.y, icon->bottom()) << "below the icon";
  EXPECT_LT(placed.y - icon->bottom(), 40);
  EXPECT_LE(placed.x, icon->centerX());
  EXPECT_GE(placed.x + placed.w, icon->centerX());
  ASSERT_TRUE(waitUntil([&] { return probe().panelShown; }, 5s));

  // A click elsewhere closes it.
  display.click(100, 900);
  EXPECT_TRUE(waitUntil([&] { return !display.viewable(*panel); }, 5s));

  // A second launch opens the panel of the first and ends.
  {
    Child second({DOZEWICK_EXECUTABLE}, {}, logPath);
    EXPECT_EQ(second.waitFor(20s), std::optional<int>(0));
  }
  ASSERT_TRUE(waitUntil([&] { return shownPanelWindow(program->pid()).has_value(); }, 10s));

  // Start runs the loop.
  std::optional<Rect> start;
  ASSERT_TRUE(waitUntil([&] { return (start = probe().button("Start")).has_value(); }, 10s));
  display.click(start->centerX(), start->centerY());
  ASSERT_TRUE(waitUntil([&] { return probe().button("Stop").has_value(); }, 10s))
      << "the panel turns to the running state";
  ASSERT_TRUE(probe().showsText("Running"));

  // A click on the icon closes the panel again.
  display.click(icon->centerX(), icon->centerY());
  ASSERT_TRUE(waitUntil([&] { return !shownPanelWindow(program->pid()).has_value(); }, 5s));

  // The five windows are used one after another, then the test's own window stays in front.
  for (const xcb_window_t w : windows) {
    display.activate(w);
    ASSERT_TRUE(waitUntil([&] { return display.activeWindow() == w; }, 5s));
    std::this_thread::sleep_for(3s);
  }
  const auto firstLeftAlone = Clock::now() - 12s;
  display.activate(own);
  ASSERT_TRUE(waitUntil([&] { return display.activeWindow() == own; }, 5s));
  const auto allLeftAlone = Clock::now();

  // The panel opens and stays open, in front: the program's own window must not take the
  // frontmost place from the application the user was in.
  display.click(icon->centerX(), icon->centerY());
  ASSERT_TRUE(
      waitUntil([&] { return (panel = shownPanelWindow(program->pid())).has_value(); }, 10s));
  display.activate(*panel);
  ASSERT_TRUE(waitUntil([&] { return display.activeWindow() == *panel; }, 5s));

  // Nothing goes before a minute of disuse; the two least recently used go once all five have
  // been left alone for a minute.
  auto iconified = [&](std::size_t i) { return display.iconic(windows[i]); };
  bool tooEarly = false;
  const bool gone = waitUntil(
      [&] {
        const bool any =
            iconified(0) || iconified(1) || iconified(2) || iconified(3) || iconified(4);
        if (any && Clock::now() < firstLeftAlone + 60s)
          tooEarly = true;
        return iconified(0) && iconified(1);
      },
      std::chrono::duration_cast<std::chrono::milliseconds>(allLeftAlone + 70s - Clock::now()));
  EXPECT_FALSE(tooEarly) << "a window went before it had been left alone for 60 s";
  ASSERT_TRUE(gone) << "the two least recently used windows were not iconified in time";
  for (std::size_t i = 2; i < 5; ++i) {
    EXPECT_FALSE(iconified(i)) << "window " << i + 1 << " is among the three most recent";
    EXPECT_TRUE(display.viewable(windows[i]));
  }
  EXPECT_FALSE(display.iconic(own));
  EXPECT_FALSE(display.iconic(ownBehind)) << "the application in front lost its protection";

  // The open panel's counts say so: two minimized, five still active (three windows and the
  // test's two); the panel itself is not counted.
  ASSERT_TRUE(probe().panelShown);
  EXPECT_TRUE(waitUntil([&] { return probe().showsText("Minimized: 2"); }, 5s));
  EXPECT_TRUE(waitUntil([&] { return probe().showsText("Active: 5"); }, 5s));
  for (std::size_t i = 2; i < 5; ++i)
    EXPECT_FALSE(iconified(i));

  // Quit ends the program cleanly.
  const std::optional<Rect> quit = probe().button("Quit");
  ASSERT_TRUE(quit.has_value());
  display.click(quit->centerX(), quit->centerY());
  EXPECT_EQ(program->waitFor(10s), std::optional<int>(0));
}

}  // namespace
