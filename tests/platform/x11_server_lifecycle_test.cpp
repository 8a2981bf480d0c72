// The X11 backend when its X server or window manager goes away and comes back.
// And what it feeds the desktop model through random churn; each test has its own X server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/window_rules.h"
#include "platform/x11/x11_backend.h"
#include "support/child_processes.h"

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
  if (name == "xfwm4")
    argv.emplace_back("--compositor=off");
  if (replace)
    argv.emplace_back("--replace");
  XTestClient desk(display);
  const auto checkWindow = [&] { return desk.send("prop\troot\t_NET_SUPPORTING_WM_CHECK"); };
  const std::string before = checkWindow();
  auto wm = std::make_unique<ChildProcess>(argv, std::vector<std::string>{"DISPLAY=" + display},
                                           /*silenceErrors=*/true);
  // The old one may still answer while the new one waits for it to let go.
  if (replace && !eventually([&] { return checkWindow() != before; }))
    throw std::runtime_error(name + " did not take over");
  desk.send("wm-ready");
  return wm;
}

bool lists(X11Backend& backend, std::uint32_t id) {
  for (const WindowInfo& window : getVisibleWindows(backend.windowSystem())) {
    if (window.windowID == backend.desktop().model().numberOf(id))
      return true;
  }
  return false;
}

bool ready(X11Backend& backend) {
  return backend.readiness() == Readiness::ready;
}

TEST(X11ServerLifecycleTest, TrustNeedsARunningEwmhWindowManagerAndALostServerIsSurvived) {
  PrivateXServer server;
  X11Backend backend({}, server.display());
  WindowSystem& windows = backend.windowSystem();
  EXPECT_EQ(backend.readiness(), Readiness::notAnswering);

  auto wm = startWindowManager(server.display());
  EXPECT_TRUE(ready(backend));
  const auto requests = backend.desktop().requests();
  EXPECT_TRUE(ready(backend));
  EXPECT_EQ(backend.desktop().requests(), requests) << "asked again though nothing changed";

  // Killed, it cannot clean up: its root properties stay and name a window that is gone, once
  // the server has noticed the lost connection.
  wm->stop(SIGKILL);
  EXPECT_TRUE(eventually([&] { return !ready(backend); }));
  EXPECT_EQ(X11Backend({}, ":999999").readiness(), Readiness::notAnswering);

  X11Backend session({});
  EXPECT_TRUE(ready(session)) << "the session the test command started";
  ::setenv("XDG_SESSION_TYPE", "wayland", 1);
  EXPECT_EQ(session.readiness(), Readiness::unsupported);
  ::setenv("XDG_SESSION_TYPE", "x11", 1);

  // A window manager started again is trusted again; a lost server empties the listing, and it
  // works again when the server is back.
  wm = startWindowManager(server.display());
  EXPECT_TRUE(ready(backend));
  auto client = std::make_unique<XTestClient>(server.display());
  const auto window = client->open({"title=before"});
  ASSERT_TRUE(lists(backend, window));

  server.kill();
  EXPECT_FALSE(windows.onScreenWindowEntries());
  EXPECT_FALSE(windows.hideApplication(client->pid()));
  client.reset();
  wm.reset();

  server.restart();
  wm = startWindowManager(server.display());
  XTestClient again(server.display());
  const auto after = again.open({"title=after"});
  EXPECT_TRUE(lists(backend, after));
  again.send("activate\t" + std::to_string(after));
  EXPECT_EQ(windows.frontmostApplicationPID(), again.pid());
  EXPECT_TRUE(windows.hideApplication(again.pid()));
}

// A server without the X-Resource extension cannot say which process made a window: the owner
// is the one the window claims, and it runs here only if such a process runs here (not so for a
// client on another host, whose windows the model minimizes one by one).
TEST(X11ServerLifecycleTest, WithoutXResourceTheClaimedOwnerIsUsed) {
  PrivateXServer server({"-extension", "X-Resource"});
  auto wm = startWindowManager(server.display());
  X11Backend backend({}, server.display());
  WindowSystem& windows = backend.windowSystem();
  XTestClient client(server.display());
  const std::int32_t remote = unusedPid();
  const auto own = client.open({"title=own"});
  const auto older = client.open({"title=Report", "pid=" + std::to_string(remote)});
  ASSERT_TRUE(lists(backend, own) && lists(backend, older));
  for (const DesktopWindow& w : backend.desktop().model().windows()) {
    EXPECT_EQ(w.processRunsHere, w.id == own) << w.id;
    EXPECT_EQ(w.pid, w.id == own ? client.pid() : remote) << w.id;
  }
  client.send("activate\t" + std::to_string(own));
  EXPECT_EQ(windows.frontmostApplicationPID(), client.pid());
  EXPECT_FALSE(windows.hideApplication(remote)) << "no such process runs here";
  EXPECT_TRUE(windows.hideApplication(client.pid()));
  client.send("wait-iconic\t" + std::to_string(own));
  // A window that is gone is not minimized, even before its end was heard of.
  client.send("destroy\t" + std::to_string(older));
  EXPECT_FALSE(backend.desktop().minimize({older}) == DesktopModel::Transport::Answer::taken);
}

// Everything the backend feeds the model, as text, to compare two of them.
std::string answers(X11Desktop& desktop) {
  std::ostringstream out;
  if (!desktop.refresh())
    return "unreachable";
  for (const DesktopWindow& w : desktop.model().windows()) {
    out << w.id << '|' << w.pid << '|' << w.processRunsHere << '|' << w.application.value_or("-")
        << '|' << w.title.value_or("-") << '|' << static_cast<int>(w.type) << '|' << w.minimized
        << '|' << w.onCurrentDesktop << '|' << w.skipsTaskbar << '\n';
  }
  out << "frontmost " << desktop.model().frontmostApplicationPID().value_or(0) << ", runs "
      << desktop.windowManagerRuns() << '\n';
  return out.str();
}

struct ChurnWindow {
  XTestClient* client;
  std::string id, desktop;
  bool normal, mapped = true, iconic = false;
};

// What one step of churn does to a window or the desktop, as a command of the X test client; none
// when the step cannot apply to this window now.
std::optional<std::string> churnChange(std::size_t action, ChurnWindow& w, std::string& current,
                                       int step,
                                       const std::function<std::size_t(std::size_t)>& below) {
  const std::string& id = w.id;
  switch (action) {
    case 1:
      return "title\t" + id + "\tstep " + std::to_string(step);
    case 2:
      w.mapped = !w.mapped;
      w.iconic = false;
      return (w.mapped ? "map\t" : "unmap\t") + id;
    case 3:
      if (!w.mapped || w.iconic) {  // xfwm4 leaves iconic ones be
        return std::nullopt;
      }
      w.desktop = std::to_string(below(2));
      return "desktop\t" + id + "\t" + w.desktop;
    case 4:
      current = std::to_string(below(2));
      return "current-desktop\t" + current;
    case 5:
      if (!w.mapped || !w.normal)
        return std::nullopt;
      w.iconic = true;
      return "iconify\t" + id;
    case 6:
      return "destroy\t" + id;
    case 7:
      if (!w.mapped || !w.normal || w.desktop != current)
        return std::nullopt;
      return "activate\t" + id;
    case 8:  // a class given late: "late\0Late\0" or "odd\0Odd\0"
      return "setprop\t" + id + "\tWM_CLASS\tSTRING\t8\t" +
             (below(2) ? "6c617465004c61746500" : "6f6464004f646400");
    case 9:
      return "setprop\t" + id + "\t_NET_WM_STATE\tATOM\t32\t";
    default:
      return std::nullopt;
  }
}

// After more events than one call takes, the desktop lists once instead, and sees the last title.
// That it asks nothing when nothing changed is the loop's test over a real window manager.
void expectOneListingAfterAFlood(const std::string& display, X11Desktop& windows,
                                 XTestClient& first) {
  const auto target = std::to_string(first.open({"title=to be flooded", "wait=focused"}));
  X11Desktop flooded(display, xcb::Connection::kDefaultReplyTimeout, 0, std::cerr, 50);
  answers(flooded);
  first.send("title\t" + target + "\tflood\t51");
  EXPECT_TRUE(eventually([&] { return answers(flooded) == answers(windows); }));
  EXPECT_EQ(flooded.fullListings(), 2u);
}

// What the backend learns from events and feeds the model is what a fresh full listing feeds it,
// after every step of random churn by two clients and the window manager, which is replaced now
// and then. DOZEWICK_CHURN_SEED repeats a run; DOZEWICK_TEST_WM picks the window manager.
TEST(X11ServerLifecycleTest, WhatEventsTeachIsWhatAFreshListingFindsThroughRandomChurn) {
  const char* seedText = std::getenv("DOZEWICK_CHURN_SEED");
  const auto seed = seedText ? std::stoul(seedText) : std::random_device()();
  SCOPED_TRACE("DOZEWICK_CHURN_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  const auto below = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  PrivateXServer server;
  auto wm = startWindowManager(server.display());
  X11Desktop windows(server.display());
  XTestClient first(server.display());
  XTestClient second(server.display());
  const std::int32_t remote = unusedPid();
  const std::vector<std::string> extras{"pid=none",  "pid=" + std::to_string(remote),
                                        "class=c,C", "wmname=old name",
                                        "desktop=1", "type=DIALOG",
                                        "type=DOCK", "state=SKIP_TASKBAR"};
  std::vector<ChurnWindow> open;
  std::string current = "0";

  for (int step = 0; step < 150; ++step) {
    const std::size_t action = open.size() < 3 ? 0 : below(11);
    ChurnWindow* w = open.empty() ? nullptr : &open[below(open.size())];
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
      } else if (auto change = churnChange(action, *w, current, step, below)) {
        command = *change;
      } else if (action == 10 && below(4) == 0) {
        command = "replace the window manager";
        wm = startWindowManager(server.display(), /*replace=*/true);
      } else {
        continue;
      }
      if (action != 0 && action != 10)
        (action == 4 ? first : *w->client).send(command);
      if (action == 6)
        open.erase(open.begin() + (w - open.data()));
    } catch (const std::exception& error) {
      // A window manager may keep the focus from a window now and then, or be slow to iconify
      // one on a busy machine; whatever it did instead is compared all the same.
      if (action != 7 && action != 5)
        FAIL() << "step " << step << ": " << command << ": " << error.what();
      if (action == 5) {
        w->normal = false;  // it would keep the run waiting again
      }
    }
    std::unique_ptr<X11Desktop> fresh;
    ASSERT_TRUE(eventually([&] {
      fresh = std::make_unique<X11Desktop>(server.display());
      return answers(windows) == answers(*fresh);
    })) << "step "
        << step << ": " << command << "\nmodel:\n"
        << answers(windows) << "fresh listing:\n"
        << answers(*fresh);
  }

  expectOneListingAfterAFlood(server.display(), windows, first);
}

// Without a window manager nobody rewrites the client list, so a test can plant a stale one: a
// destroyed window, a window that never existed, and None; or one of the wrong type.
TEST(X11ServerLifecycleTest, SkipsListedWindowsThatAreGoneOrNeverExisted) {
  PrivateXServer server;
  X11Backend backend({}, server.display());
  X11Desktop& desktop = backend.desktop();
  const auto fedIds = [&] {
    std::vector<std::uint64_t> ids;
    if (desktop.refresh()) {
      for (const DesktopWindow& w : desktop.model().windows())
        ids.push_back(w.id);
    }
    return ids;
  };
  XTestClient client(server.display());
  const auto alive = client.open({"title=alive", "wait=none"});
  const auto doomed = client.open({"title=doomed", "wait=none"});
  client.send("destroy\t" + std::to_string(doomed));
  const std::string list = hexList({alive, doomed, 0x1FFFFFFu, 0u});

  client.send("setprop\troot\t_NET_CLIENT_LIST_STACKING\tWINDOW\t32\t" + list);
  EXPECT_EQ(fedIds(), std::vector<std::uint64_t>{alive});

  // xfwm4 leaves a new window out of the stacking list until something is restacked: it is
  // still listed, and on top.
  const auto fresh = client.open({"title=fresh", "wait=none"});
  client.send("setprop\troot\t_NET_CLIENT_LIST\tWINDOW\t32\t" + hexList({alive, fresh}));
  EXPECT_EQ(fedIds(), (std::vector<std::uint64_t>{fresh, alive}));
  client.send("delprop\troot\t_NET_CLIENT_LIST");

  // Lists of the wrong type, or none: no EWMH window manager, nothing known.
  WindowSystem& windows = backend.windowSystem();
  client.send("setprop\troot\t_NET_CLIENT_LIST_STACKING\tCARDINAL\t32\t" + list);
  EXPECT_FALSE(windows.onScreenWindowEntries());
  EXPECT_TRUE(getVisibleWindows(windows).empty());
  client.send("delprop\troot\t_NET_CLIENT_LIST_STACKING");
  EXPECT_FALSE(windows.onScreenWindowEntries());
  EXPECT_FALSE(windows.hideApplication(client.pid()));
}

}  // namespace
}  // namespace dozewick
