// The real services over a fake backend, in virtual time (Qt Widgets).
// For the views' and the tray's tests.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>
#include <memory>
#include <optional>
#include <sstream>

#include "core/window_manager.h"
#include "localization/language_manager.h"
#include "platform/launch_at_login.h"
#include "platform/permission_checker.h"
#include "support/fake_backend.h"
#include "support/fake_login_items.h"
#include "support/memory_preferences.h"
#include "support/virtual_runtime.h"
#include "views/view_services.h"

namespace dozewick::testing {

// The child of a window by its object name; a failure of the test where there is none.
template <class T = QWidget>
T* find(QWidget& root, const char* name) {
  T* child = root.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

class DesktopServicesTest : public ::testing::Test {
 protected:
  DesktopServicesTest() {
    checker = PermissionChecker::create(runtime, language, backend);
    manager = WindowManager::create(runtime.clock(), runtime, backend.windows, *checker);
    launchAtLogin = std::make_unique<LaunchAtLoginManager>(runtime, loginItems, out);
    services.emplace(ViewServices{*manager, *checker, language, *launchAtLogin, runtime,
                                  backend.ownWindows(), [this] { ++quitCalls; },
                                  "/usr/local/bin/dozewick", ""});
    settle();
  }
  ~DesktopServicesTest() override { manager->stop(); }

  // Runs what the runtime and Qt have queued until both are quiet.
  void settle() {
    for (int round = 0; round < 20; ++round) {
      const bool busy = runtime.pendingTaskCount() > 0;
      runtime.runPending();
      QCoreApplication::sendPostedEvents();
      QCoreApplication::processEvents();
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      if (!busy && runtime.pendingTaskCount() == 0)
        break;
    }
  }
  void advance(int ms) {
    runtime.advance(std::chrono::milliseconds(ms));
    settle();
  }

  VirtualRuntime runtime;
  MemoryPreferences preferences;
  LanguageManager language{preferences, {"en-US"}};
  FakeBackend backend;
  std::shared_ptr<PermissionChecker> checker;
  std::shared_ptr<WindowManager> manager;
  FakeLoginItems loginItems;
  std::ostringstream out;
  std::unique_ptr<LaunchAtLoginManager> launchAtLogin;
  int quitCalls = 0;
  std::optional<ViewServices> services;
};

}  // namespace dozewick::testing
