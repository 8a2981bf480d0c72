// The X11 window system when the X server or the window manager goes away and comes back. Each
// test runs its own X server, beside the session the test command started.
#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>

#include "core/window_rules.h"
#include "platform/x11/x11_trust.h"
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

std::unique_ptr<ChildProcess> startWindowManager(const std::string& display) {
  auto wm = std::make_unique<ChildProcess>(std::vector<std::string>{"openbox", "--sm-disable"},
                                           std::vector<std::string>{"DISPLAY=" + display}, -1,
                                           /*silenceErrors=*/true);
  XTestClient(display).send("wm-ready");
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

TEST(X11ServerLifecycleTest, TrustNeedsARunningEwmhWindowManager) {
  PrivateXServer server;
  EXPECT_FALSE(queryX11TrustOn(server.display()));

  auto wm = startWindowManager(server.display());
  EXPECT_TRUE(queryX11TrustOn(server.display()));

  // Killed, it cannot clean up: its root properties stay and name a window that is gone, once
  // the server has noticed the lost connection.
  wm->stop(SIGKILL);
  EXPECT_TRUE(eventually([&] { return !queryX11TrustOn(server.display()); }));
  EXPECT_FALSE(queryX11TrustOn(":999999"));

  EXPECT_TRUE(queryX11Trust()) << "the session the test command started";
  ::setenv("XDG_SESSION_TYPE", "wayland", 1);
  EXPECT_FALSE(queryX11Trust());
  ::setenv("XDG_SESSION_TYPE", "x11", 1);
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
  const auto entries = windows.onScreenWindowEntries();
  ASSERT_TRUE(entries);
  for (const WindowEntry& entry : *entries) {
    if (entry.number == EntryValue(std::int64_t{own})) {
      EXPECT_EQ(entry.ownerPID, EntryValue(std::int64_t{client.pid()}));
      EXPECT_EQ(entry.ownerName, EntryValue(std::string("dozewick_x_test")));
    }
  }
  ASSERT_TRUE(lists(windows, own));
  client.send("activate\t" + std::to_string(own));
  EXPECT_EQ(windows.frontmostApplicationPID(), client.pid());
  EXPECT_FALSE(windows.hideApplication(unusedPid())) << "no such process runs here";
  EXPECT_TRUE(windows.hideApplication(client.pid()));
  client.send("wait-iconic\t" + std::to_string(own));
  EXPECT_TRUE(lists(windows, dead));
}

TEST(X11ServerLifecycleTest, AWindowManagerRestartIsPickedUp) {
  PrivateXServer server;
  auto wm = startWindowManager(server.display());
  X11WindowSystem windows(server.display());
  XTestClient client(server.display());
  const auto window = client.open({"title=survives the window manager"});
  ASSERT_TRUE(lists(windows, window));

  wm.reset();
  wm = startWindowManager(server.display());
  EXPECT_TRUE(eventually([&] { return lists(windows, window); }));
  EXPECT_TRUE(windows.hideApplication(client.pid()));
  client.send("wait-iconic\t" + std::to_string(window));
  EXPECT_FALSE(lists(windows, window));
}

TEST(X11ServerLifecycleTest, ALostServerEmptiesTheListingAndItWorksAgainWhenBack) {
  PrivateXServer server;
  auto wm = startWindowManager(server.display());
  X11WindowSystem windows(server.display());
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

// Without a window manager nobody rewrites the client list, so a test can plant a stale one: a
// destroyed window, a window that never existed, and None.
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
