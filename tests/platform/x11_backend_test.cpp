// What the X11 backend feeds the desktop model, from a real X server and window manager.
// Run inside tools/x-session.
#include "platform/x11/x11_backend.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>

#include "platform/x11/x11_pointer_monitor.h"
#include "support/child_processes.h"
#include "support/qt_application.h"

namespace dozewick {
namespace {

using testing::eventually;
using testing::hexList;
using testing::unusedPid;
using testing::XTestClient;

const auto* const application = testing::addQtApplication<QCoreApplication>();

class X11BackendTest : public ::testing::Test {
 protected:
  // The window as the backend last reported it to the model.
  std::optional<DesktopWindow> fed(std::uint32_t id) {
    if (!desktop().refresh()) {
      return std::nullopt;
    }
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
    if (button == 3) {
      monitor.reset();
    }
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
