// The loop over the real X11 backend, counting only what the window manager put away.
// Run inside tools/x-session under each window manager, named in DOZEWICK_TEST_WM.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "core/window_manager.h"
#include "platform/x11/x11_backend.h"
#include "support/child_processes.h"
#include "support/qt_application.h"
#include "support/virtual_runtime.h"

namespace dozewick {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::eventually;
using testing::XTestClient;

const auto* const application = testing::addQtApplication<QCoreApplication>();

struct Trusted final : TrustCheck {
  void checkPermissionAsync(std::function<void(bool)> done) override { done(true); }
};

class X11ConfirmTest : public ::testing::Test {
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
  X11Backend backend{BackendContext{}};
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
}

}  // namespace
}  // namespace dozewick
