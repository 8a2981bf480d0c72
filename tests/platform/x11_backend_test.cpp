// What the X11 backend feeds the desktop model, and the loop over it, from a real X server and
// window manager. Run inside tools/x-session; DOZEWICK_TEST_WM names the window manager.
#include "platform/x11/x11_backend.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "core/window_manager.h"
#include "platform/x11/x11_pointer_monitor.h"
#include "support/child_processes.h"
#include "support/qt_application.h"
#include "support/virtual_runtime.h"

namespace dozewick {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::eventually;
using testing::hexList;
using testing::unusedPid;
using testing::XTestClient;

const auto* const application = testing::addQtApplication<QCoreApplication>();

class X11BackendTest : public ::testing::Test {
 protected:
  // The window as the backend last reported it to the model.
  std::optional<DesktopWindow> fed(std::uint32_t id) {
    if (!desktop().refresh())
      return std::nullopt;
    const auto& windows = desktop().model().windows();
    const auto found = std::find_if(windows.begin(), windows.end(),
                                    [id](const DesktopWindow& w) { return w.id == id; });
    return found == windows.end() ? std::nullopt : std::optional(*found);
  }
  X11Desktop& desktop() { return backend.desktop(); }

  X11Backend backend{BackendContext{}};
};

// Each window's owner, names and type from what its client provides; the owner is always the
// process the server knows, whatever _NET_WM_PID claims. Decoding itself is the property test's.
TEST_F(X11BackendTest, FeedsEachWindowWithItsOwnerNamesAndTypeTopmostFirst) {
  XTestClient client;
  const std::optional<std::string> none;
  const struct {
    std::vector<std::string> options;
    std::optional<std::string> title, application;
    WindowType type;
  } cases[] = {
      {{"title=Éditeur — 文档 🚀", "class=editor,Editor"},
       "Éditeur — 文档 🚀",
       "Editor",
       WindowType::ordinary},
      {{"title=From NET", "wmname=From WM", "class=a,A"}, "From NET", "A", WindowType::ordinary},
      {{"wmname=Caf\\xe9"}, "Café", "dozewick_x_test", WindowType::ordinary},
      // No title, no class, no _NET_WM_PID: the /proc name of the local process, cut at 15 bytes.
      {{"pid=none"}, none, "dozewick_x_test", WindowType::ordinary},
      {{"title=claims", "pid=" + std::to_string(unusedPid())},
       "claims",
       "dozewick_x_test",
       WindowType::ordinary},
      {{"type=NORMAL"}, none, "dozewick_x_test", WindowType::ordinary},
      {{"type=DIALOG"}, none, "dozewick_x_test", WindowType::ordinary},
      {{"type=_UNKNOWN_KIND,DIALOG"}, none, "dozewick_x_test", WindowType::ordinary},
      {{"type=_UNKNOWN_KIND"}, none, "dozewick_x_test", WindowType::unknown},
      {{"type=UTILITY"}, none, "dozewick_x_test", WindowType::other},
      {{"type=DOCK"}, none, "dozewick_x_test", WindowType::other},
      {{"type=UTILITY,NORMAL"}, none, "dozewick_x_test", WindowType::other},
  };
  std::vector<std::uint32_t> opened;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options.back());
    opened.push_back(client.open(c.options));
    const auto window = fed(opened.back());
    ASSERT_TRUE(window);
    EXPECT_EQ(window->type, c.type);
    EXPECT_EQ(window->pid, client.pid());
    EXPECT_TRUE(window->processRunsHere);
    EXPECT_EQ(window->application, c.application);
    EXPECT_EQ(window->title, c.title);
  }
  // Topmost first: of the first two, the one opened last is on top.
  const auto& windows = desktop().model().windows();
  const auto position = [&](std::uint32_t id) {
    return std::find_if(windows.begin(), windows.end(),
                        [&](const DesktopWindow& w) { return w.id == id; });
  };
  EXPECT_LT(position(opened[1]), position(opened[0]));
}

// Where each window is: on this desktop or another, iconified, hidden by the window manager, or
// out of the task bar.
TEST_F(X11BackendTest, FeedsWhereEachWindowIsShown) {
  XTestClient client;
  const auto here = client.open({"title=here"});
  const auto elsewhere = client.open({"title=elsewhere"});
  const auto everywhere = client.open({"title=everywhere"});
  const auto iconified = client.open({"title=iconified"});
  const auto bornElsewhere = client.open({"title=born elsewhere", "desktop=2", "wait=managed"});
  const auto skipping = client.open({"title=no task bar", "state=SKIP_TASKBAR"});
  client.send("desktop\t" + std::to_string(elsewhere) + "\t1");
  client.send("desktop\t" + std::to_string(everywhere) + "\t0xFFFFFFFF");
  client.send("iconify\t" + std::to_string(iconified));
  // As a window manager that keeps the windows of other desktops mapped would leave it.
  const auto keptMapped = client.open({"title=kept mapped"});
  client.send("setprop\t" + std::to_string(keptMapped) + "\t_NET_WM_DESKTOP\tCARDINAL\t32\t" +
              hexList({1}));
  ASSERT_EQ(client.state(keptMapped), "viewable normal");

  const auto onScreen = [&](std::uint32_t id) {
    const auto window = fed(id);
    return window && window->onCurrentDesktop && !window->minimized;
  };
  EXPECT_TRUE(onScreen(here));
  EXPECT_TRUE(onScreen(everywhere));
  EXPECT_FALSE(fed(elsewhere)->onCurrentDesktop);
  EXPECT_TRUE(fed(iconified)->minimized);
  EXPECT_FALSE(fed(bornElsewhere)->onCurrentDesktop);
  EXPECT_FALSE(fed(keptMapped)->onCurrentDesktop);
  EXPECT_TRUE(fed(skipping)->skipsTaskbar);

  // The window manager names the new desktop before it has mapped that desktop's windows.
  client.send("current-desktop\t1");
  EXPECT_TRUE(
      eventually([&] { return onScreen(elsewhere) && onScreen(everywhere) && !onScreen(here); }));
  client.send("current-desktop\t0");
  ASSERT_TRUE(eventually([&] { return onScreen(here); }));

  // A window manager may hide a window by unmapping its frame alone: the window hears nothing.
  std::string frame(32, '\0');
  FILE* tree = ::popen(("xwininfo -tree -id " + std::to_string(here) +
                        " | sed -n 's/.*Parent window id: \\(0x[0-9a-f]*\\).*/\\1/p'")
                           .c_str(),
                       "r");
  frame.resize(std::fread(frame.data(), 1, frame.size(), tree));
  ::pclose(tree);
  ASSERT_EQ(std::system(("xdotool windowunmap --sync " + frame).c_str()), 0) << frame;
  EXPECT_TRUE(eventually([&] { return !onScreen(here); }));
}

struct Trusted final : TrustCheck {
  void checkPermissionAsync(std::function<void(bool)> done) override { done(true); }
};

class X11ConfirmTest : public X11BackendTest {
 protected:
  // The ordinary window the backend reports for this process.
  std::uint32_t windowOf(pid_t pid) {
    std::uint32_t found = 0;
    eventually([&] {
      backend.windowSystem().onScreenWindowEntries();
      for (const DesktopWindow& w : backend.desktop().model().windows())
        found = w.pid == pid && w.type == WindowType::ordinary ? w.id : found;
      return found != 0;
    });
    return found;
  }
  // Put away, as the X server says: iconic, or hidden by the window manager.
  bool putAway(std::uint32_t window) {
    if (desk.state(window) == "unviewable iconic")
      return true;
    std::istringstream states(desk.send("prop\t" + std::to_string(window) + "\t_NET_WM_STATE"));
    const std::string hidden = desk.send("atom\t_NET_WM_STATE_HIDDEN");
    for (std::string atom; states >> atom;) {
      if (atom == hidden)
        return true;
    }
    return false;
  }

  const std::string wm = std::getenv("DOZEWICK_TEST_WM") ? std::getenv("DOZEWICK_TEST_WM") : "";
  XTestClient desk;
  testing::VirtualRuntime runtime;
  Trusted trust;
};

// An xterm and an xeyes (which takes no input) left alone for a minute beside three windows used
// since and the test's own in front: both are due. The counts follow what the X server shows, and
// what the window manager kept is not asked again at every check.
TEST_F(X11ConfirmTest, OnlyWhatTheWindowManagerPutAwayCounts) {
  ChildProcess xterm({"xterm"}, {}, true);
  ChildProcess xeyes({"xeyes"}, {}, true);
  const std::uint32_t due[] = {windowOf(xterm.pid()), windowOf(xeyes.pid())};
  ASSERT_TRUE(due[0] && due[1]);
  std::vector<std::unique_ptr<XTestClient>> used;
  std::vector<std::uint32_t> usedWindows;
  for (int i = 0; i < 3; ++i) {
    used.push_back(std::make_unique<XTestClient>());
    usedWindows.push_back(used.back()->open({"title=used " + std::to_string(i)}));
  }
  const auto own = desk.open({"title=the test"});

  auto manager = WindowManager::create(runtime.clock(), runtime, backend.windowSystem(), trust);
  manager->start();
  runtime.runPending();
  ASSERT_EQ(manager->activeWindowCount()(), 6);
  for (int i = 0; i < 3; ++i) {
    used[i]->send("activate\t" + std::to_string(usedWindows[i]));
    runtime.advance(1s);
  }
  desk.send("activate\t" + std::to_string(own));
  runtime.advance(59s);
  ASSERT_EQ(manager->minimizedCount()(), 0);

  // The check at which the last of the used windows has been left alone for a minute too asks
  // for both (the three used are protected); the window manager answers in real time.
  const auto asked = std::chrono::steady_clock::now();
  runtime.advance(1s);
  for (const std::uint32_t window : due) {
    const bool gone = eventually([&] { return putAway(window); }, 2500ms);
    std::cout << wm << ": window " << window << (gone ? " put away after " : " kept; waited ")
              << std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - asked)
                     .count()
              << " ms\n";
  }
  for (int i = 0; i < 4; ++i) {
    std::this_thread::sleep_for(1s);
    runtime.advance(1s);
  }
  const int iconic = putAway(due[0]) + putAway(due[1]);
  EXPECT_EQ(manager->minimizedCount()(), iconic);
  EXPECT_EQ(manager->keptCount()(), 2 - iconic);
  EXPECT_EQ(backend.readiness(), iconic ? Readiness::ready : Readiness::keepsWindows);
  if (wm == "i3") {
    EXPECT_EQ(iconic, 0) << "i3 has no iconic state";
  } else if (wm == "kwin_x11") {
    EXPECT_TRUE(putAway(due[0]));
    EXPECT_FALSE(putAway(due[1])) << "KWin keeps a window that takes no input";
  } else {
    EXPECT_EQ(iconic, 2);
  }

  // Kept windows are left be: the checks of the next half minute ask the server nothing.
  const auto requests = backend.desktop().requests();
  for (int i = 0; i < 30; ++i) {
    runtime.advance(1s);
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(backend.desktop().requests() - requests, 0u);
  EXPECT_EQ(manager->minimizedCount()(), iconic);

  // Bring back shows what was put away, and leaves alone a window the user minimized.
  const bool userIconified = wm != "i3";
  if (userIconified)
    used[0]->send("iconify\t" + std::to_string(usedWindows[0]));
  EXPECT_EQ(manager->putAwayCount()(), iconic);
  EXPECT_TRUE(manager->bringBack());
  EXPECT_TRUE(eventually([&] { return !putAway(due[0]) && !putAway(due[1]); }, 2500ms));
  EXPECT_EQ(putAway(usedWindows[0]), userIconified);
}

TEST(X11GrabTest, AServerGrabbedByAnotherClientDelaysButDoesNotHang) {
  X11Backend backend({}, {}, std::chrono::milliseconds(300));
  WindowSystem& windows = backend.windowSystem();
  XTestClient client;
  const auto window = client.open({"title=grabbed"});
  ASSERT_TRUE(windows.onScreenWindowEntries() && backend.desktop().model().numberOf(window));

  client.send("grab");
  // Hiding has to wait for the server's answer: it fails in time, and so does all until then.
  EXPECT_FALSE(windows.hideApplication(client.pid()));
  EXPECT_FALSE(windows.onScreenWindowEntries());
  client.send("ungrab");
  EXPECT_TRUE(eventually([&] { return windows.onScreenWindowEntries() != nullptr; }));
}

// Left and right presses anywhere count, other buttons and the wheel do not; a handler may end
// its own monitor; without a display there is no monitor rather than a failure.
TEST(X11PointerMonitorTest, ReportsLeftAndRightPressesAndMayBeEndedByItsHandler) {
  EXPECT_EQ(X11PointerMonitor::create([](int) {}, ":4099"), nullptr);
  std::vector<int> presses;
  std::unique_ptr<X11PointerMonitor> monitor = X11PointerMonitor::create([&](int button) {
    presses.push_back(button);
    if (button == 3)
      monitor.reset();
  });
  ASSERT_NE(monitor, nullptr) << "the test X server offers XInput 2.2";
  XTestClient mouse;
  // On a window of its own: the wheel on the desktop would switch desktops.
  std::istringstream at(mouse.send("geometry\t" + std::to_string(mouse.open())));
  int x = 0, y = 0;
  at >> x >> y;
  for (const int button : {1, 2, 4, 3, 1}) {
    mouse.send("click\t" + std::to_string(x + 20) + "\t" + std::to_string(y + 20) + "\t" +
               std::to_string(button));
  }
  ASSERT_TRUE(eventually([&] {
    QCoreApplication::processEvents();
    return monitor == nullptr;
  }));
  EXPECT_EQ(presses, (std::vector<int>{1, 3}));
}

}  // namespace
}  // namespace dozewick
