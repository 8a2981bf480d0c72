// The program on a desktop without a tray, on one whose tray comes up after it, and how its
// windows stand towards task bars and the focus.
#include <gtest/gtest.h>

#include "x_driver.h"

namespace {

using namespace dozewick::xdriver;
using namespace std::chrono_literals;

class TrayFallback : public ProgramTest {
 protected:
  std::string output() const {
    std::ifstream in(logPath);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  bool windowHasType(xcb_window_t w, const char* type) {
    return has(display.cardinals(w, "_NET_WM_WINDOW_TYPE"), display.atom(type));
  }
  static bool has(const std::vector<std::uint32_t>& values, std::uint32_t wanted) {
    return std::find(values.begin(), values.end(), wanted) != values.end();
  }
  std::unique_ptr<Child> startTray() {
    return std::make_unique<Child>(
        std::vector<std::string>{"trayer", "--edge", "top", "--align", "right", "--widthtype",
                                 "request", "--height", "24", "--SetDockType", "true",
                                 "--transparent", "false"},
        std::vector<std::string>{}, logPath + ".trayer");
  }
  // The program's shown, managed windows other than `except`.
  std::optional<xcb_window_t> otherWindow(pid_t pid, xcb_window_t except) {
    for (const xcb_window_t w : display.clients()) {
      if (w != except && display.pidOf(w) == static_cast<std::uint32_t>(pid) && display.viewable(w))
        return w;
    }
    return std::nullopt;
  }
};

// Presses and releases Escape, as the user does.
void pressEscape() {
  Child key({"xdotool", "key", "Escape"});
  EXPECT_EQ(key.waitFor(10s), std::optional<int>(0));
}

TEST_F(TrayFallback, WithoutATrayThePanelIsAnOrdinaryWindowAndClosingItQuits) {
  auto program = launchProgram();
  std::optional<xcb_window_t> window;
  ASSERT_TRUE(
      waitUntil([&] { return (window = shownPanelWindow(program->pid())).has_value(); }, 20s));
  EXPECT_TRUE(windowHasType(*window, "_NET_WM_WINDOW_TYPE_NORMAL"));
  const Rect size = *display.geometry(*window);
  EXPECT_EQ(size.w, 260);
  EXPECT_EQ(size.h, 400);
  ASSERT_TRUE(waitUntil([&] { return probe().button("Start").has_value(); }, 5s));

  const std::string said = output();
  const auto first = said.find("no system tray");
  ASSERT_NE(first, std::string::npos) << said;
  EXPECT_EQ(said.find("no system tray", first + 1), std::string::npos) << "said once";

  display.close(*window);
  EXPECT_EQ(program->waitFor(10s), std::optional<int>(0));
}

TEST_F(TrayFallback, ATrayThatComesUpAfterTheProgramStillGetsItsIcon) {
  auto program = launchProgram();
  std::this_thread::sleep_for(1500ms);
  auto tray = startTray();
  EXPECT_TRUE(waitUntil([&] { return embeddedTrayIcon(program->pid()).has_value(); }, 20s));
  EXPECT_FALSE(shownPanelWindow(program->pid()).has_value());
  EXPECT_EQ(output().find("no system tray"), std::string::npos);
}

// The panel belongs to the tray icon and its dialogs to the panel: none of them shows in a task
// bar or pager, and the dialogs offer no minimise or maximise. The panel takes the focus while it
// is open; Escape closes it and gives the focus back to the window that had it.
TEST_F(TrayFallback, ThePanelAndItsDialogsStayOutOfTaskBarsAndEscapeGivesTheFocusBack) {
  auto tray = startTray();
  auto program = launchProgram();
  std::optional<Rect> icon;
  ASSERT_TRUE(
      waitUntil([&] { return (icon = embeddedTrayIcon(program->pid())).has_value(); }, 20s));
  const xcb_window_t mine = display.openOwnWindow("the user's window");
  display.activate(mine);
  ASSERT_TRUE(waitUntil([&] { return display.activeWindow() == mine; }, 10s));

  display.click(icon->centerX(), icon->centerY());
  std::optional<xcb_window_t> panel;
  ASSERT_TRUE(
      waitUntil([&] { return (panel = shownPanelWindow(program->pid())).has_value(); }, 20s));
  ASSERT_TRUE(waitUntil([&] { return display.activeWindow() == *panel; }, 10s));
  const auto panelStates = display.cardinals(*panel, "_NET_WM_STATE");
  EXPECT_TRUE(has(panelStates, display.atom("_NET_WM_STATE_SKIP_TASKBAR")));
  EXPECT_TRUE(has(panelStates, display.atom("_NET_WM_STATE_SKIP_PAGER")));

  std::optional<Rect> settings;
  ASSERT_TRUE(waitUntil([&] { return (settings = probe().button("Settings")).has_value(); }, 10s));
  display.click(settings->centerX(), settings->centerY());
  std::optional<xcb_window_t> dialog;
  ASSERT_TRUE(
      waitUntil([&] { return (dialog = otherWindow(program->pid(), *panel)).has_value(); }, 10s));
  const auto dialogStates = display.cardinals(*dialog, "_NET_WM_STATE");
  EXPECT_TRUE(has(dialogStates, display.atom("_NET_WM_STATE_SKIP_TASKBAR")));
  EXPECT_TRUE(has(dialogStates, display.atom("_NET_WM_STATE_SKIP_PAGER")));
  EXPECT_EQ(display.cardinals(*dialog, "WM_TRANSIENT_FOR"), std::vector<std::uint32_t>{*panel});
  // Motif hints: flags, functions, decorations. No minimise (8, 32) or maximise (16, 64).
  const auto motif = display.cardinals(*dialog, "_MOTIF_WM_HINTS");
  ASSERT_GE(motif.size(), 3u);
  EXPECT_TRUE(motif[0] & 1u) << "the functions are given";
  EXPECT_EQ(motif[1] & (1u | 8u | 16u), 0u) << "functions " << motif[1];
  EXPECT_EQ(motif[2] & (1u | 32u | 64u), 0u) << "decorations " << motif[2];

  // Escape closes the dialog, then the panel, and the user's window has the focus again.
  ASSERT_TRUE(waitUntil([&] { return display.activeWindow() == *dialog; }, 10s));
  pressEscape();
  ASSERT_TRUE(waitUntil([&] { return !display.viewable(*dialog); }, 10s));
  ASSERT_TRUE(waitUntil([&] { return display.activeWindow() == *panel; }, 10s))
      << "back to the panel";
  pressEscape();
  EXPECT_TRUE(waitUntil([&] { return !shownPanelWindow(program->pid()).has_value(); }, 10s));
  EXPECT_TRUE(waitUntil([&] { return display.activeWindow() == mine; }, 10s))
      << "active: " << display.activeWindow();
}

}  // namespace
