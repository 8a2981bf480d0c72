// The whole program in a real X session, started as a user would and driven by real input.
// Under openbox and xfwm4, with a tray that comes up after it; observed through X (geometry,
// state, properties) and the program's test probe (where its controls are and what they read).
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "support/child_processes.h"

namespace dozewick {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::eventually;
using testing::XTestClient;

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  static std::optional<Rect> parse(const std::string& text) {
    Rect r;
    std::istringstream in(text);
    return in >> r.x >> r.y >> r.w >> r.h ? std::optional(r) : std::nullopt;
  }
  std::string center() const {
    return std::to_string(x + w / 2) + "\t" + std::to_string(y + h / 2);
  }
};

class EndToEnd : public ::testing::Test {
 protected:
  void TearDown() override {
    if (HasFailure())
      std::cerr << "--- program output ---\n"
                << std::ifstream(log).rdbuf() << "\n--- probe ---\n"
                << std::ifstream(probePath).rdbuf() << '\n';
    std::filesystem::remove_all(dir);
  }
  // A line of the program's probe: what it shows, by kind ("button", "label", "tray",
  // "popover") and text.
  std::optional<Rect> probe(const std::string& kind, const std::string& text = {}) {
    std::ifstream in(probePath);
    for (std::string line; std::getline(in, line);) {
      std::vector<std::string> f;
      std::istringstream fields(line);
      for (std::string item; std::getline(fields, item, '\t');)
        f.push_back(item);
      if (kind == "popover" && f.size() >= 6 && f[0] == kind && f[1] == "1")
        return Rect{};
      if (f.size() >= 5 && f[0] == kind &&
          (text.empty() || (f.size() >= 6 && f[5].find(text) != std::string::npos)))
        return Rect::parse(f[1] + " " + f[2] + " " + f[3] + " " + f[4]);
    }
    return std::nullopt;
  }
  std::uint32_t shownPanel() { return std::stoul(desk.send("shown\t" + std::to_string(pid))); }
  std::uint32_t active() { return std::stoul(desk.send("active")); }
  std::vector<std::uint32_t> prop(std::uint32_t window, const std::string& name) {
    std::istringstream in(desk.send("prop\t" + std::to_string(window) + "\t" + name));
    return {std::istream_iterator<std::uint32_t>(in), std::istream_iterator<std::uint32_t>()};
  }
  ChildProcess startTray() {
    return ChildProcess({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                         "--height", "24", "--SetDockType", "true", "--transparent", "false"},
                        {}, true);
  }
  // Where the icon settles: a tray that sizes itself to its icons moves them as it grows.
  std::optional<Rect> trayIcon() {
    std::optional<Rect> icon, before;
    eventually(
        [&] {
          before = icon;
          icon = Rect::parse(desk.send("tray-icon\t" + std::to_string(pid)));
          std::this_thread::sleep_for(300ms);
          return icon && before && icon->x == before->x && icon->y == before->y &&
                 icon->w == before->w;
        },
        20s);
    return icon;
  }
  void click(const Rect& r) { desk.send("click\t" + r.center()); }
  // Presses and releases Escape, as the user does.
  void pressEscape() {
    EXPECT_EQ(ChildProcess({"xdotool", "key", "Escape"}, {}, true).exitStatus(10s), 0);
  }
  bool skipsBars(std::uint32_t window) {
    const auto states = prop(window, "_NET_WM_STATE");
    const auto has = [&](const char* name) {
      return std::find(states.begin(), states.end(),
                       std::stoul(desk.send(std::string("atom\t") + name))) != states.end();
    };
    return has("_NET_WM_STATE_SKIP_TASKBAR") && has("_NET_WM_STATE_SKIP_PAGER");
  }

  // A click on the icon opens the panel below it, with the focus and out of task bars and pagers.
  void openThePanelBelow(const Rect& icon, std::uint32_t own, std::uint32_t& panel) {
    desk.send("activate\t" + std::to_string(own));
    click(icon);
    ASSERT_TRUE(eventually([&] { return shownPanel() != 0; }, 10s));
    panel = shownPanel();
    const Rect placed = *Rect::parse(desk.send("geometry\t" + std::to_string(panel)));
    EXPECT_EQ(placed.w, 260);
    EXPECT_EQ(placed.h, 400);
    EXPECT_GE(placed.y, icon.y + icon.h) << "below the icon";
    EXPECT_LE(placed.x, icon.x + icon.w / 2);
    EXPECT_GE(placed.x + placed.w, icon.x + icon.w / 2);
    ASSERT_TRUE(eventually([&] { return active() == panel; }, 10s));
    EXPECT_TRUE(skipsBars(panel));
  }

  // A sheet takes the panel's place in the panel's window, which takes its size: no window of its
  // own, so no frame and nothing for task bars. Escape closes the sheet, then the panel, and the
  // user's window has the focus again.
  void closeASheetAndThePanelWithEscape(std::uint32_t panel, std::uint32_t own) {
    ASSERT_TRUE(eventually([&] { return probe("button", "Settings").has_value(); }, 10s));
    click(*probe("button", "Settings"));
    const auto size = [&] {
      const auto placed = Rect::parse(desk.send("geometry\t" + std::to_string(panel)));
      return placed ? std::pair(placed->w, placed->h) : std::pair(0, 0);
    };
    ASSERT_TRUE(eventually([&] { return size().first == 360 && size().second > 200; }, 10s));
    EXPECT_EQ(desk.send("shown\t" + std::to_string(pid) + "\t" + std::to_string(panel)), "0");
    EXPECT_EQ(active(), panel);
    pressEscape();
    ASSERT_TRUE(eventually([&] { return size() == std::pair(260, 400); }, 10s))
        << "the panel again";
    EXPECT_EQ(shownPanel(), panel);
    pressEscape();
    ASSERT_TRUE(eventually([&] { return shownPanel() == 0; }, 10s));
    EXPECT_TRUE(eventually([&] { return active() == own; }, 10s)) << "active: " << active();
  }

  void startFromASecondLaunch(const Rect& icon) {
    // Opened again, a click elsewhere closes it.
    click(icon);
    ASSERT_TRUE(eventually([&] { return probe("popover").has_value(); }, 10s));
    desk.send("click\t100\t900");
    EXPECT_TRUE(eventually([&] { return shownPanel() == 0; }, 5s));

    // A second launch opens the panel of the first and ends.
    EXPECT_EQ(ChildProcess({DOZEWICK_EXECUTABLE}, {}, false, log).exitStatus(20s), 0);
    ASSERT_TRUE(eventually([&] { return shownPanel() != 0; }, 10s));

    // Start runs the loop; a click on the icon closes the panel again.
    ASSERT_TRUE(eventually([&] { return probe("button", "Start").has_value(); }, 10s));
    click(*probe("button", "Start"));
    ASSERT_TRUE(eventually([&] { return probe("button", "Stop").has_value(); }, 10s));
    ASSERT_TRUE(probe("label", "Running"));
    click(icon);
    ASSERT_TRUE(eventually([&] { return shownPanel() == 0; }, 5s));
  }

  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("dozewick-test-" + std::to_string(::getpid()));
  bool made = std::filesystem::create_directories(dir);
  std::string probePath = dir / "probe.txt", log = dir / "dozewick.log";
  XTestClient desk;  // reads X, clicks, and owns the test's own window
  pid_t pid = 0;
};

TEST_F(EndToEnd, TrayPanelAndTheLoopMinimizeTheLeastRecentlyUsedWindows) {
  // Five windows of five processes, and two of the test's own: one ends up frontmost, the other
  // is never used and stays only because its application is in front.
  std::vector<std::unique_ptr<XTestClient>> clients;
  std::vector<std::uint32_t> windows;
  for (int i = 1; i <= 5; ++i) {
    clients.push_back(std::make_unique<XTestClient>());
    windows.push_back(clients.back()->open(
        {"title=Test window " + std::to_string(i), "class=test" + std::to_string(i) + ",Test"}));
  }
  const auto ownBehind = desk.open({"title=The test, never used", "class=e2e,EndToEnd"});
  const auto own = desk.open({"title=The test itself", "class=e2e,EndToEnd"});

  // The program starts before the tray does, as at a login; its icon appears once the tray is up.
  ChildProcess program({DOZEWICK_EXECUTABLE}, {"DOZEWICK_TEST_PROBE=" + probePath}, false, log);
  pid = program.pid();
  std::this_thread::sleep_for(1500ms);
  ChildProcess tray = startTray();
  const std::optional<Rect> icon = trayIcon();
  ASSERT_TRUE(icon) << "no icon of the program was embedded in the tray";
  ASSERT_TRUE(eventually([&] { return probe("tray") && probe("tray")->w > 0; }, 10s));
  EXPECT_EQ(probe("tray")->x, icon->x);

  std::uint32_t panel = 0;
  ASSERT_NO_FATAL_FAILURE(openThePanelBelow(*icon, own, panel));
  ASSERT_NO_FATAL_FAILURE(closeASheetAndThePanelWithEscape(panel, own));
  ASSERT_NO_FATAL_FAILURE(startFromASecondLaunch(*icon));

  // The five windows are used one after another, then the test's own window stays in front.
  // Two seconds each, so that at least one of the program's checks sees each in front.
  for (std::size_t i = 0; i < 5; ++i) {
    clients[i]->send("activate\t" + std::to_string(windows[i]));
    std::this_thread::sleep_for(2s);
  }
  const auto firstLeftAlone = std::chrono::steady_clock::now() - 8s;
  desk.send("activate\t" + std::to_string(own));
  const auto allLeftAlone = std::chrono::steady_clock::now();

  // The panel opens and stays open, in front: the program's own window must not take the
  // frontmost place from the application the user was in.
  click(*icon);
  ASSERT_TRUE(eventually([&] { return shownPanel() != 0; }, 10s));
  desk.send("activate\t" + std::to_string(shownPanel()));

  // Nothing goes before a minute of disuse; the two least recently used go once all five have
  // been left alone for a minute.
  const auto iconified = [&](int i) {
    return clients[i]->state(windows[i]) == "unviewable iconic";
  };
  ASSERT_NO_FATAL_FAILURE(
      testing::expectTheTwoLeastRecentGo(iconified, 5, firstLeftAlone + 60s, allLeftAlone, 70s));
  EXPECT_EQ(desk.state(own), "viewable normal");
  EXPECT_EQ(desk.state(ownBehind), "viewable normal")
      << "the application in front lost its protection";

  // The open panel's counts say so: two minimized, five still active (three windows and the
  // test's two); the panel itself is not counted.
  ASSERT_NE(shownPanel(), 0u);
  EXPECT_TRUE(eventually([&] { return probe("label", "Minimized: 2").has_value(); }, 10s));
  EXPECT_TRUE(eventually([&] { return probe("label", "Active: 5").has_value(); }, 5s));
  click(*probe("button", "Quit"));
  EXPECT_EQ(program.exitStatus(10s), 0) << "Quit ends the program cleanly";
}

// Without a tray the panel shows as a window at once; a tray coming up later takes the icon and
// the window goes, while the loop started from the window runs on.
TEST_F(EndToEnd, ATrayComingUpLaterTakesTheIconAndThePanelWindowGoes) {
  ChildProcess program({DOZEWICK_EXECUTABLE}, {"DOZEWICK_TEST_PROBE=" + probePath}, false, log);
  pid = program.pid();
  ASSERT_TRUE(eventually([&] { return shownPanel() != 0; }, 10s)) << "no panel window";
  ASSERT_TRUE(eventually([&] { return probe("button", "Start").has_value(); }, 10s));
  click(*probe("button", "Start"));
  ASSERT_TRUE(eventually([&] { return probe("button", "Stop").has_value(); }, 10s));

  ChildProcess tray = startTray();
  const std::optional<Rect> icon = trayIcon();
  ASSERT_TRUE(icon) << "no icon of the program was embedded in the tray";
  EXPECT_TRUE(eventually([&] { return shownPanel() == 0; }, 5s)) << "the panel window stayed";
  EXPECT_TRUE(::kill(pid, 0) == 0) << "the program ended";
  click(*icon);
  ASSERT_TRUE(eventually([&] { return shownPanel() != 0; }, 10s));
  EXPECT_TRUE(eventually([&] { return probe("label", "Running").has_value(); }, 10s))
      << "the loop stopped on the way into the tray";
  ::kill(pid, SIGTERM);
  EXPECT_EQ(program.exitStatus(10s), 0);
}

// With the everyday settings on, a start as at login (the autostart entry runs the program with
// no arguments, and the tray comes up later) runs the loop without any press: with an idle time of
// 30 s and no protected places the idle window goes 30 s after the start, the application kept
// and the one in front stay.
TEST_F(EndToEnd, StartAtLaunchRunsTheLoopWithTheChosenSettingsWithoutAPress) {
  XTestClient idleApp, keptApp;
  const auto idle = idleApp.open({"title=Left alone", "class=idle,Idle"});
  const auto kept = keptApp.open({"title=Kept on purpose", "class=kept,Kept"});
  const auto own = desk.open({"title=The test itself", "class=e2e,EndToEnd"});
  desk.send("activate\t" + std::to_string(own));
  const auto config = dir / "config";
  std::filesystem::create_directories(config / "Dozewick");
  std::ofstream(config / "Dozewick" / "Dozewick.conf")
      << "[General]\nstart_at_launch=true\nidle_seconds=30\nprotected_windows=0\n"
         "never_hide=Kept\n";

  const auto launched = std::chrono::steady_clock::now();
  ChildProcess program({DOZEWICK_EXECUTABLE},
                       {"XDG_CONFIG_HOME=" + config.string(), "DOZEWICK_TEST_PROBE=" + probePath},
                       false, log);
  pid = program.pid();
  std::this_thread::sleep_for(3s);
  ChildProcess tray = startTray();
  const auto iconic = [&](XTestClient& client, std::uint32_t window) {
    return client.state(window) == "unviewable iconic";
  };
  ASSERT_TRUE(eventually([&] { return iconic(idleApp, idle); }, 40s));
  const auto after = std::chrono::steady_clock::now() - launched;
  EXPECT_GE(after, 30s) << "before the idle time";
  // Running within 2 s of the launch, and the check that sees 30 s comes within a second.
  EXPECT_LE(after, 33s + 500ms) << "the loop did not start at launch";
  eventually([] { return false; }, 3s);
  EXPECT_FALSE(iconic(keptApp, kept)) << "an application the user keeps went";
  EXPECT_EQ(desk.state(own), "viewable normal");
  ::kill(pid, SIGTERM);
  EXPECT_EQ(program.exitStatus(10s), 0);
}

}  // namespace
}  // namespace dozewick
