// Qt programs on Wayland as the applications of the KWin and GNOME tests.
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

#include "platform/desktop_model.h"
#include "support/accessibility.h"
#include "support/child_processes.h"

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

// The window of that title as a backend last reported it to its desktop model.
template <class Backend>
std::optional<DesktopWindow> fed(const Backend& backend, const std::string& title) {
  QCoreApplication::processEvents();
  for (const DesktopWindow& window : backend.model().windows()) {
    if (window.title == title)
      return window;
  }
  return std::nullopt;
}

// The whole program on Wayland (or on X11, given "xcb") as a user starts it, its widgets on the
// accessibility bus, where the test reads and presses them as a screen reader does.
class WaylandProgram {
 public:
  explicit WaylandProgram(const QString& executable,
                          const QString& platform = QStringLiteral("wayland")) {
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(executable, {});
  }
  bool started() { return process.waitForStarted(10000) && screenReader.connected(); }
  // Waits for its panel to show a push button of that name, and presses it.
  bool press(const QString& button) {
    std::optional<AccessibilityBus::Object> found;
    return eventually(
               [&] {
                 panel = screenReader.application(process.processId());
                 return panel &&
                        (found = screenReader.find(*panel, QStringLiteral("push button"), button));
               },
               std::chrono::seconds(30)) &&
           screenReader.doAction(*found, QStringLiteral("Press"));
  }
  bool shows(const QString& text) {
    return panel && screenReader.find(*panel, QStringLiteral("label"), text).has_value();
  }
  // A SIGTERM, as at a logout, ends it through its normal quit, with status 0.
  void expectQuitOnSigterm() {
    ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), SIGTERM), 0);
    ASSERT_TRUE(process.waitForFinished(15000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
  }

  QProcess process;
  AccessibilityBus screenReader;
  std::optional<AccessibilityBus::Object> panel;
};

}  // namespace dozewick::testing
