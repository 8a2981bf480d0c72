// The X11 window system against a real X server and window manager (run inside tools/x-session).
#include "platform/x11/x11_window_system.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <variant>

#include "core/window_rules.h"
#include "platform/x11/x11_pointer_monitor.h"
#include "platform/x11_test_support.h"
#include "support/qt_application.h"

namespace dozewick {
namespace {

using testing::eventually;
using testing::hexList;
using testing::unusedPid;
using testing::XTestClient;

const auto* const application = testing::addQtApplication<QCoreApplication>();

std::optional<WindowEntry> entryOf(X11WindowSystem& windows, std::uint32_t id) {
  const auto entries = windows.onScreenWindowEntries();
  if (!entries) {
    return std::nullopt;
  }
  for (const WindowEntry& entry : *entries) {
    if (entry.number == EntryValue(std::int64_t{id})) {
      return entry;
    }
  }
  return std::nullopt;
}

bool listed(X11WindowSystem& windows, std::uint32_t id) {
  return entryOf(windows, id).has_value();
}

std::string textOf(const EntryValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    return *text;
  }
  return "<missing>";
}

std::int64_t numberOf(const EntryValue& value) {
  const auto* number = std::get_if<std::int64_t>(&value);
  return number != nullptr ? *number : -1;
}

std::optional<WindowInfo> visible(X11WindowSystem& windows, std::uint32_t id) {
  for (const WindowInfo& window : getVisibleWindows(windows)) {
    if (window.windowID == id) {
      return window;
    }
  }
  return std::nullopt;
}

class X11WindowSystemTest : public ::testing::Test {
 protected:
  X11WindowSystem windows;
};

// Each window's owner, name and layer from what its client provides; the owner is always the
// process the server knows, whatever _NET_WM_PID claims. Decoding itself is the property test's.
TEST_F(X11WindowSystemTest, ListsEachWindowWithItsOwnerTitleAndLayerTopmostFirst) {
  XTestClient client;
  const std::string none = "<missing>";
  const struct {
    std::vector<std::string> options;
    std::string name, ownerName;
    bool ordinary;
  } cases[] = {
      {{"title=Éditeur — 文档 🚀", "class=editor,Editor"}, "Éditeur — 文档 🚀", "Editor", true},
      {{"title=From NET", "wmname=From WM", "class=a,A"}, "From NET", "A", true},
      {{"wmname=Caf\\xe9"}, "Café", "dozewick_x_test", true},
      // No title, no class, no _NET_WM_PID: the /proc name of the local process, cut at 15 bytes.
      {{"pid=none"}, none, "dozewick_x_test", true},
      {{"title=claims", "pid=" + std::to_string(unusedPid())}, "claims", "dozewick_x_test", true},
      {{"type=NORMAL"}, none, "dozewick_x_test", true},
      {{"type=DIALOG"}, none, "dozewick_x_test", true},
      {{"type=_UNKNOWN_KIND,DIALOG"}, none, "dozewick_x_test", true},
      {{"type=_UNKNOWN_KIND"}, none, "dozewick_x_test", true},
      {{"type=UTILITY"}, none, "dozewick_x_test", false},
      {{"type=DOCK"}, none, "dozewick_x_test", false},
      {{"type=UTILITY,NORMAL"}, none, "dozewick_x_test", false},
  };
  std::vector<std::uint32_t> opened;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options.back());
    opened.push_back(client.open(c.options));
    const auto entry = entryOf(windows, opened.back());
    ASSERT_TRUE(entry);
    EXPECT_EQ(numberOf(entry->layer) == 0, c.ordinary);
    EXPECT_EQ(numberOf(entry->ownerPID), client.pid());
    EXPECT_EQ(textOf(entry->ownerName), c.ownerName);
    EXPECT_EQ(textOf(entry->name), c.name);
  }
  // Topmost first: of the first two, the one opened last is on top.
  const auto entries = windows.onScreenWindowEntries();
  ASSERT_TRUE(entries);
  const auto position = [&](std::uint32_t id) {
    return std::find_if(entries->begin(), entries->end(), [&](const WindowEntry& e) {
      return e.number == EntryValue(std::int64_t{id});
    });
  };
  EXPECT_LT(position(opened[1]), position(opened[0]));

  // Malformed properties count as missing.
  const auto window = client.open({"title=good", "wmname=fallback", "class=m,M"});
  const std::string id = std::to_string(window);
  client.send("setprop\t" + id + "\t_NET_WM_NAME\tCARDINAL\t32\t01000000");
  client.send("setprop\t" + id + "\tWM_CLASS\tSTRING\t8\t6e6f6e756c");  // no separator
  client.send("setprop\t" + id + "\t_NET_WM_WINDOW_TYPE\tCARDINAL\t32\t05000000");
  client.send("setprop\t" + id + "\t_NET_WM_PID\tCARDINAL\t16\t0100");
  client.send("setprop\t" + id + "\t_NET_WM_DESKTOP\tCARDINAL\t16\t0300");
  client.send("setprop\t" + id + "\t_NET_WM_STATE\tATOM\t8\tffffffffff");
  const auto entry = entryOf(windows, window);
  ASSERT_TRUE(entry);
  EXPECT_EQ(textOf(entry->name), "fallback");
  EXPECT_EQ(textOf(entry->ownerName), "dozewick_x_test");
  EXPECT_EQ(numberOf(entry->layer), 0);
  EXPECT_EQ(numberOf(entry->ownerPID), client.pid());
}

TEST_F(X11WindowSystemTest, ListsOnlyWindowsOnScreenNow) {
  XTestClient client;
  const auto here = client.open({"title=here"});
  const auto elsewhere = client.open({"title=elsewhere"});
  const auto everywhere = client.open({"title=everywhere"});
  const auto iconified = client.open({"title=iconified"});
  const auto bornElsewhere = client.open({"title=born elsewhere", "desktop=2", "wait=managed"});
  client.send("desktop\t" + std::to_string(elsewhere) + "\t1");
  client.send("desktop\t" + std::to_string(everywhere) + "\t0xFFFFFFFF");
  client.send("iconify\t" + std::to_string(iconified));
  // As a window manager that keeps the windows of other desktops mapped would leave it.
  const auto keptMapped = client.open({"title=kept mapped"});
  client.send("setprop\t" + std::to_string(keptMapped) + "\t_NET_WM_DESKTOP\tCARDINAL\t32\t" +
              hexList({1}));
  ASSERT_EQ(client.state(keptMapped), "viewable normal");

  EXPECT_TRUE(listed(windows, here));
  EXPECT_TRUE(listed(windows, everywhere));
  EXPECT_FALSE(listed(windows, elsewhere));
  EXPECT_FALSE(listed(windows, iconified));
  EXPECT_FALSE(listed(windows, bornElsewhere));
  EXPECT_FALSE(listed(windows, keptMapped));

  // The window manager names the new desktop before it has mapped that desktop's windows.
  client.send("current-desktop\t1");
  EXPECT_TRUE(eventually([&] {
    return listed(windows, elsewhere) && listed(windows, everywhere) && !listed(windows, here);
  }));
  client.send("current-desktop\t0");
  ASSERT_TRUE(eventually([&] { return listed(windows, here); }));

  // A window manager may hide a window by unmapping its frame alone: the window hears nothing.
  std::string frame(32, '\0');
  FILE* tree = ::popen(("xwininfo -tree -id " + std::to_string(here) +
                        " | sed -n 's/.*Parent window id: \\(0x[0-9a-f]*\\).*/\\1/p'")
                           .c_str(),
                       "r");
  frame.resize(std::fread(frame.data(), 1, frame.size(), tree));
  ::pclose(tree);
  ASSERT_EQ(std::system(("xdotool windowunmap --sync " + frame).c_str()), 0) << frame;
  EXPECT_TRUE(eventually([&] { return !listed(windows, here); }));
}

TEST_F(X11WindowSystemTest, HidingAnApplicationIconifiesAllItsListedWindowsAndNothingElse) {
  XTestClient app;
  XTestClient other;
  const std::uint32_t appWindows[] = {app.open({"title=one"}), app.open({"title=two"}),
                                      app.open({"title=dialog", "type=DIALOG"})};
  // What a file manager drawing the desktop, or a panel with a settings dialog, also owns.
  const std::uint32_t untouchable[] = {
      app.open({"title=desktop", "type=DESKTOP"}),
      app.open({"title=dock", "type=DOCK"}),
      app.open({"title=notification", "type=NOTIFICATION"}),
      app.open({"title=no task bar", "state=SKIP_TASKBAR"}),
  };
  const auto otherWindow = other.open({"title=other"});
  const auto info = visible(windows, appWindows[0]);
  ASSERT_TRUE(info);
  EXPECT_FALSE(listed(windows, untouchable[3])) << "it could not be brought back";

  EXPECT_TRUE(minimizeWindow(windows, *info));
  for (const auto window : appWindows) {
    app.send("wait-iconic\t" + std::to_string(window));
    EXPECT_FALSE(listed(windows, window));
  }
  EXPECT_TRUE(listed(windows, otherWindow));
  EXPECT_EQ(other.state(otherWindow), "viewable normal");
  for (const auto window : untouchable) {
    EXPECT_EQ(app.state(window).rfind("viewable", 0), 0u) << window;
    EXPECT_EQ(app.state(window).find("iconic"), std::string::npos) << window;
  }

  // Still running, still the owner: asking again succeeds.
  EXPECT_TRUE(windows.hideApplication(app.pid()));
  EXPECT_TRUE(minimizeWindow(windows, *info));

  // Only a local process that owns a window is hidden, never one a window merely claims.
  const auto claimed = unusedPid();
  app.open({"title=claims a pid", "pid=" + std::to_string(claimed)});
  EXPECT_FALSE(windows.hideApplication(claimed));
  EXPECT_FALSE(windows.hideApplication(unusedPid()));
  EXPECT_FALSE(windows.hideApplication(0));  // the pid of windows that name none
  EXPECT_FALSE(windows.hideApplication(-1));
  EXPECT_FALSE(windows.hideApplication(::getpid()));  // alive, but owns no window
}

// Windows whose _NET_WM_PID names no process here, as from a client on another host: listed
// topmost first with their titles, and minimized one by one (which one is the rules' choice).
TEST_F(X11WindowSystemTest, WindowsOfAnotherHostAreMinimizedOneByOne) {
  XTestClient remote;
  const std::int32_t pid = unusedPid();
  const auto open = [&](const char* title) {
    return remote.open({std::string("title=") + title, "pid=" + std::to_string(pid)});
  };
  const auto older = open("Report");
  const auto notes = open("Notes");
  const auto newer = open("Report");
  const auto list = windows.applicationWindows(pid);
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 3u);
  EXPECT_EQ((*list)[0].handle, newer);
  EXPECT_EQ((*list)[1].title, "Notes");
  EXPECT_TRUE(windows.applicationWindows(pid - 1)->empty());

  EXPECT_TRUE(minimizeWindow(windows, WindowInfo{newer, pid, "Remote", "Report"}));
  remote.send("wait-iconic\t" + std::to_string(newer));
  EXPECT_EQ(windows.applicationWindows(pid)->at(0).minimized, true);
  EXPECT_EQ(remote.state(older), "viewable normal");
  EXPECT_EQ(remote.state(notes), "viewable normal");

  // A window that is gone, or never was, is not minimized.
  remote.send("destroy\t" + std::to_string(notes));
  EXPECT_FALSE(windows.setMinimized(AccessibleWindow{notes, "", false}));
  EXPECT_FALSE(windows.setMinimized(AccessibleWindow{}));
  EXPECT_FALSE(windows.setMinimized(AccessibleWindow{std::uint64_t{1} << 40, "", false}));
}

TEST(X11GrabTest, AServerGrabbedByAnotherClientDelaysButDoesNotHang) {
  X11WindowSystem windows({}, std::chrono::milliseconds(300));
  XTestClient client;
  const auto window = client.open({"title=grabbed"});
  ASSERT_TRUE(listed(windows, window));

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
