#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/window_rules.h"
#include "platform/x11_test_support.h"

namespace dozewick::testing {

// One Qt program on Wayland; its windows are opened and closed on command.
class WaylandClient {
 public:
  WaylandClient() : process_({DOZEWICK_WAYLAND_TEST_CLIENT}, {"QT_QPA_PLATFORM=wayland"}) {}
  std::int32_t pid() const { return process_.pid(); }
  bool command(const QString& line) {
    try {
      return process_.ask(line.toStdString()) == "ok";
    } catch (const std::runtime_error&) {
      return false;
    }
  }

 private:
  ChildProcess process_;
};

// After the last activation at `allLeftAlone`, the first two of six applications must be
// iconified within 75 s, none of the six before `earliest`, and the other four kept.
inline void expectTheTwoLeastRecentGo(const std::function<bool(int)>& iconified,
                                      std::chrono::steady_clock::time_point earliest,
                                      std::chrono::steady_clock::time_point allLeftAlone) {
  using Clock = std::chrono::steady_clock;
  bool tooEarly = false;
  const bool gone = eventually(
      [&] {
        for (int i = 0; i < 6; ++i)
          tooEarly = tooEarly || (iconified(i) && Clock::now() < earliest);
        return iconified(0) && iconified(1);
      },
      std::chrono::duration_cast<std::chrono::milliseconds>(
          allLeftAlone + std::chrono::seconds(75) - Clock::now()));
  EXPECT_FALSE(tooEarly) << "a window went before it had been left alone for 60 s";
  ASSERT_TRUE(gone) << "the two least recently used were not iconified in time";
  eventually([] { return false; }, std::chrono::seconds(2));
  for (int i = 2; i < 6; ++i)
    EXPECT_FALSE(iconified(i)) << "App " << i << " is among the three most recent or in front";
}

// The window of that title as the rules list it, and among its application's windows.
inline std::optional<WindowInfo> visible(WindowSystem& windows, const std::string& title) {
  for (const WindowInfo& window : getVisibleWindows(windows)) {
    if (window.title == title)
      return window;
  }
  return std::nullopt;
}
inline std::optional<AccessibleWindow> owned(WindowSystem& windows, std::int32_t pid,
                                             const std::string& title) {
  for (const AccessibleWindow& window :
       windows.applicationWindows(pid).value_or(std::vector<AccessibleWindow>())) {
    if (window.title == title)
      return window;
  }
  return std::nullopt;
}
inline bool minimizedNow(WindowSystem& windows, std::int32_t pid, const std::string& title) {
  const auto window = owned(windows, pid, title);
  return window && window->minimized == true;
}

// Starts a Qt program as a user would on Wayland, with its widgets on the accessibility bus.
inline bool startOnWayland(QProcess& program, const QString& executable) {
  auto environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
  environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
  program.setProcessEnvironment(environment);
  program.setProcessChannelMode(QProcess::ForwardedChannels);
  program.start(executable, {});
  return program.waitForStarted(10000);
}

}  // namespace dozewick::testing
