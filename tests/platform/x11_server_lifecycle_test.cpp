// The X11 window system when the X server or the window manager goes away and comes back. Each
// test runs its own X server, beside the session the test command started.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "core/window_rules.h"
#include "platform/x11/x11_window_system.h"
#include "platform/x11_test_support.h"

namespace dozewick {
namespace {

using testing::ChildProcess;
using testing::eventually;
using testing::hexList;
using testing::PrivateXServer;
using testing::unusedPid;
using testing::XTestClient;

// Openbox, or the window manager DOZEWICK_TEST_WM names (openbox, xfwm4).
std::unique_ptr<ChildProcess> startWindowManager(const std::string& display, bool replace = false) {
  const char* chosen = std::getenv("DOZEWICK_TEST_WM");
  const std::string name = chosen ? chosen : "openbox";
  std::vector<std::string> argv{name, name == "xfwm4" ? "--sm-client-disable" : "--sm-disable"};
  if (name == "xfwm4") {
    argv.emplace_back("--compositor=off");
  }
  if (replace) {
    argv.emplace_back("--replace");
  }
  XTestClient desk(display);
  const auto checkWindow = [&] { return desk.send("prop\troot\t_NET_SUPPORTING_WM_CHECK"); };
  const std::string before = checkWindow();
  auto wm = std::make_unique<ChildProcess>(argv, std::vector<std::string>{"DISPLAY=" + display},
                                           /*silenceErrors=*/true);
  // The old one may still answer while the new one waits for it to let go.
  if (replace && !eventually([&] { return checkWindow() != before; })) {
    throw std::runtime_error(name + " did not take over");
  }
  desk.send("wm-ready");
  return wm;
}

bool lists(X11WindowSystem& windows, std::uint32_t id) {
  for (const WindowInfo& window : getVisibleWindows(windows)) {
    if (window.windowID == id) {
      return true;
    }
  }
  return false;
}

TEST(X11ServerLifecycleTest, TrustNeedsARunningEwmhWindowManagerAndALostServerIsSurvived) {
  PrivateXServer server;
  X11WindowSystem windows(server.display());
  EXPECT_FALSE(windows.trusted());

  auto wm = startWindowManager(server.display());
  EXPECT_TRUE(windows.trusted());
  const auto requests = windows.requests();
  EXPECT_TRUE(windows.trusted());
  EXPECT_EQ(windows.requests(), requests) << "asked again though nothing changed";

  // Killed, it cannot clean up: its root properties stay and name a window that is gone, once
  // the server has noticed the lost connection.
  wm->stop(SIGKILL);
  EXPECT_TRUE(eventually([&] { return !windows.trusted(); }));
  EXPECT_FALSE(X11WindowSystem(":999999").trusted());

  X11WindowSystem session;
  EXPECT_TRUE(session.trusted()) << "the session the test command started";
  ::setenv("XDG_SESSION_TYPE", "wayland", 1);
  EXPECT_FALSE(session.trusted());
  ::setenv("XDG_SESSION_TYPE", "x11", 1);

  // A window manager started again is trusted again; a lost server empties the listing, and it
  // works again when the server is back.
  wm = startWindowManager(server.display());
  EXPECT_TRUE(windows.trusted());
  auto client = std::make_unique<XTestClient>(server.display());
  const auto window = client->open({"title=before"});
  ASSERT_TRUE(lists(windows, window));
  const auto pid = client->pid();
  const auto perWindow = windows.applicationWindows(pid);
  ASSERT_TRUE(perWindow && !perWindow->empty());

  server.kill();
  EXPECT_TRUE(getVisibleWindows(windows).empty());
  EXPECT_FALSE(windows.onScreenWindowEntries());
  EXPECT_FALSE(windows.hideApplication(pid));
  EXPECT_FALSE(windows.applicationWindows(pid));
  EXPECT_FALSE(windows.setMinimized(perWindow->front()));
  EXPECT_FALSE(windows.frontmostApplicationPID());
  EXPECT_FALSE(minimizeWindow(windows, WindowInfo{window, pid, "x", "before"}));
  client.reset();
  wm.reset();

  server.restart();
  wm = startWindowManager(server.display());
  XTestClient again(server.display());
  const auto after = again.open({"title=after"});
  EXPECT_TRUE(lists(windows, after));
  again.send("activate\t" + std::to_string(after));
  EXPECT_EQ(windows.frontmostApplicationPID(), again.pid());
  EXPECT_TRUE(windows.hideApplication(again.pid()));
}

// A server without the X-Resource extension cannot say which process made a window: the owner
// is the one the window claims, if such a process runs here.
TEST(X11ServerLifecycleTest, WithoutXResourceTheClaimedOwnerIsUsed) {
  PrivateXServer server({"-extension", "X-Resource"});
  auto wm = startWindowManager(server.display());
  X11WindowSystem windows(server.display());
  XTestClient client(server.display());
  const auto own = client.open({"title=own"});
  const auto dead = client.open({"title=claims", "pid=" + std::to_string(unusedPid())});
  ASSERT_TRUE(lists(windows, own));
  client.send("activate\t" + std::to_string(own));
  EXPECT_EQ(windows.frontmostApplicationPID(), client.pid());
  EXPECT_FALSE(windows.hideApplication(unusedPid())) << "no such process runs here";
  EXPECT_TRUE(windows.hideApplication(client.pid()));
  client.send("wait-iconic\t" + std::to_string(own));
  EXPECT_TRUE(lists(windows, dead));
}

std::ostream& operator<<(std::ostream& out, std::monostate) {
  return out << '-';
}

// Everything the window system answers, as text, to compare two of them.
std::string answers(X11WindowSystem& windows, const std::vector<std::int32_t>& pids) {
  std::ostringstream out;
  const auto listed = windows.onScreenWindowEntries();
  for (const WindowEntry& e : listed ? *listed : std::vector<WindowEntry>(1)) {
    for (const EntryValue* value : {&e.number, &e.layer, &e.ownerPID, &e.ownerName, &e.name}) {
      std::visit([&](const auto& v) { out << v << '|'; }, *value);
    }
    out << '\n';
  }
  out << "frontmost " << windows.frontmostApplicationPID().value_or(0) << ", trusted "
      << windows.trusted() << '\n';
  for (const std::int32_t pid : pids) {
    for (const AccessibleWindow& w :
         windows.applicationWindows(pid).value_or(std::vector<AccessibleWindow>{})) {
      out << pid << ": " << w.handle << ' ' << w.title.value_or("-") << ' '
          << w.minimized.value_or(false) << '\n';
    }
  }
  return out.str();
}

// The model the window system keeps from events answers as a fresh full listing does, after
// every step of random churn by two clients and the window manager, which is replaced now and
// then. DOZEWICK_CHURN_SEED repeats a run; DOZEWICK_TEST_WM picks the window manager.
TEST(X11ServerLifecycleTest, TheModelAnswersAsAFreshListingThroughRandomChurn) {
  const char* seedText = std::getenv("DOZEWICK_CHURN_SEED");
  const auto seed = seedText ? std::stoul(seedText) : std::random_device()();
  SCOPED_TRACE("DOZEWICK_CHURN_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  const auto below = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  PrivateXServer server;
  auto wm = startWindowManager(server.display());
  X11WindowSystem windows(server.display());
  XTestClient first(server.display());
  XTestClient second(server.display());
  const std::int32_t remote = unusedPid();
  const std::vector<std::int32_t> pids{first.pid(), second.pid(), remote};
  const std::vector<std::string> extras{"pid=none",  "pid=" + std::to_string(remote),
                                        "class=c,C", "wmname=old name",
                                        "desktop=1", "type=DIALOG",
                                        "type=DOCK", "state=SKIP_TASKBAR"};
  struct Window {
    XTestClient* client;
    std::string id, desktop;
    bool normal, mapped = true, iconic = false;
  };
  std::vector<Window> open;
  std::string current = "0";

  for (int step = 0; step < 150; ++step) {
    const std::size_t action = open.size() < 3 ? 0 : below(11);
    Window* w = open.empty() ? nullptr : &open[below(open.size())];
    std::string command;
    try {
      if (action == 0) {
        XTestClient& client = below(2) == 0 ? first : second;
        const std::size_t extra = below(extras.size() + 2);
        const std::string option = extra < extras.size() ? extras[extra] : "wait=managed";
        command = "open " + option;
        open.push_back({&client, std::to_string(client.open({"wait=managed", option})),
                        extra == 4 ? "1" : current, extra < 6 || extra >= extras.size()});
        w = &open.back();
      }
      const std::string id = w->id;
      if (action == 0) {
      } else if (action == 1) {
        command = "title\t" + id + "\tstep " + std::to_string(step);
      } else if (action == 2) {
        command = (w->mapped ? "unmap\t" : "map\t") + id;
        w->mapped = !w->mapped;
        w->iconic = false;
      } else if (action == 3 && w->mapped && !w->iconic) {  // xfwm4 leaves iconic ones be
        w->desktop = std::to_string(below(2));
        command = "desktop\t" + id + "\t" + w->desktop;
      } else if (action == 4) {
        current = std::to_string(below(2));
        command = "current-desktop\t" + current;
      } else if (action == 5 && w->mapped && w->normal) {
        command = "iconify\t" + id;
        w->iconic = true;
      } else if (action == 6) {
        command = "destroy\t" + id;
      } else if (action == 7 && w->mapped && w->normal && w->desktop == current) {
        command = "activate\t" + id;
      } else if (action == 8) {  // a class given late: "late\0Late\0" or "odd\0Odd\0"
        command = "setprop\t" + id + "\tWM_CLASS\tSTRING\t8\t" +
                  (below(2) ? "6c617465004c61746500" : "6f6464004f646400");
      } else if (action == 9) {
        command = "setprop\t" + id + "\t_NET_WM_STATE\tATOM\t32\t";
      } else if (action == 10 && below(4) == 0) {
        command = "replace the window manager";
        wm = startWindowManager(server.display(), /*replace=*/true);
      } else {
        continue;
      }
      if (action != 0 && action != 10) {
        (action == 4 ? first : *w->client).send(command);
      }
      if (action == 6) {
        open.erase(open.begin() + (w - open.data()));
      }
    } catch (const std::exception& error) {
      // A window manager may keep the focus from a window now and then, or be slow to iconify
      // one on a busy machine; whatever it did instead is compared all the same.
      if (action != 7 && action != 5) {
        FAIL() << "step " << step << ": " << command << ": " << error.what();
      }
      if (action == 5) {
        w->normal = false;  // it would keep the run waiting again
      }
    }
    std::unique_ptr<X11WindowSystem> fresh;
    ASSERT_TRUE(eventually([&] {
      fresh = std::make_unique<X11WindowSystem>(server.display());
      return answers(windows, pids) == answers(*fresh, pids);
    })) << "step "
        << step << ": " << command << "\nmodel:\n"
        << answers(windows, pids) << "fresh listing:\n"
        << answers(*fresh, pids);
  }

  // Asked again with nothing changed, it asks the server nothing.
  const auto requests = windows.requests();
  answers(windows, pids);
  EXPECT_EQ(windows.requests(), requests);
  // More events than one call takes: one full listing instead, which sees the last title.
  const auto target = std::to_string(first.open({"title=to be flooded", "wait=focused"}));
  X11WindowSystem flooded(server.display(), xcb::Connection::kDefaultReplyTimeout, 0, 50);
  answers(flooded, pids);
  first.send("title\t" + target + "\tflood\t51");
  EXPECT_TRUE(eventually([&] { return answers(flooded, pids) == answers(windows, pids); }));
  EXPECT_EQ(flooded.fullListings(), 2u);
}

// Without a window manager nobody rewrites the client list, so a test can plant a stale one: a
// destroyed window, a window that never existed, and None; or one of the wrong type.
TEST(X11ServerLifecycleTest, SkipsListedWindowsThatAreGoneOrNeverExisted) {
  PrivateXServer server;
  X11WindowSystem windows(server.display());
  XTestClient client(server.display());
  const auto alive = client.open({"title=alive", "wait=none"});
  const auto doomed = client.open({"title=doomed", "wait=none"});
  client.send("destroy\t" + std::to_string(doomed));
  const std::string list = hexList({alive, doomed, 0x1FFFFFFu, 0u});

  client.send("setprop\troot\t_NET_CLIENT_LIST_STACKING\tWINDOW\t32\t" + list);
  const auto entries = windows.onScreenWindowEntries();
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_EQ(entries->front().number, EntryValue(std::int64_t{alive}));

  // xfwm4 leaves a new window out of the stacking list until something is restacked: it is
  // still listed, and on top.
  const auto fresh = client.open({"title=fresh", "wait=none"});
  client.send("setprop\troot\t_NET_CLIENT_LIST\tWINDOW\t32\t" + hexList({alive, fresh}));
  const auto withFresh = windows.onScreenWindowEntries();
  ASSERT_TRUE(withFresh);
  ASSERT_EQ(withFresh->size(), 2u);
  EXPECT_EQ(withFresh->front().number, EntryValue(std::int64_t{fresh}));
  client.send("delprop\troot\t_NET_CLIENT_LIST");

  client.send("setprop\troot\t_NET_CLIENT_LIST_STACKING\tCARDINAL\t32\t" + list);
  EXPECT_FALSE(windows.onScreenWindowEntries());
  EXPECT_TRUE(getVisibleWindows(windows).empty());
  client.send("delprop\troot\t_NET_CLIENT_LIST_STACKING");
  EXPECT_FALSE(windows.onScreenWindowEntries());
  EXPECT_FALSE(windows.hideApplication(client.pid()));
}

}  // namespace
}  // namespace dozewick
