#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/preferences.h"
#include "core/window_manager.h"
#include "localization/language_manager.h"
#include "platform/launch_at_login.h"
#include "platform/permission_checker.h"
#include "support/fake_window_system.h"
#include "support/memory_preferences.h"
#include "support/virtual_runtime.h"
#include "views/view_services.h"

namespace dozewick::testing {

// The login item as the system holds it, with an optional failure of every change.
class FakeLoginItems final : public LoginItemService {
 public:
  LoginItemStatus status() const override { return current; }
  std::optional<std::string> registerItem() override {
    ++registerCalls;
    if (failure)
      return failure;
    current = LoginItemStatus::enabled;
    return std::nullopt;
  }
  std::optional<std::string> unregisterItem() override {
    ++unregisterCalls;
    if (failure)
      return failure;
    current = LoginItemStatus::notRegistered;
    return std::nullopt;
  }

  LoginItemStatus current = LoginItemStatus::notRegistered;
  std::optional<std::string> failure;
  int registerCalls = 0;
  int unregisterCalls = 0;
};

// Real services over fakes, on a main thread in virtual time. Qt's own queued work (the views'
// redraws) runs in settle().
class ViewsTest : public ::testing::Test {
 protected:
  ViewsTest();
  ~ViewsTest() override;

  // Runs what the runtime and Qt have queued until both are quiet.
  void settle();
  // Grants or withdraws the permission and lets the checker notice.
  void setTrusted(bool trusted);
  void switchLanguage(const std::string& code);
  // Writes a picture of `widget` into the screenshot folder.
  void screenshot(QWidget& widget, const QString& name);
  QString text(const char* key) const {
    return QString::fromStdString(language.localizedString(key));
  }

  VirtualRuntime runtime;
  MemoryPreferences preferences;
  LanguageManager language{preferences, {"en-US"}};
  bool trusted = false;
  int trustQueries = 0;
  int prompts = 0;
  int settingsOpened = 0;
  std::shared_ptr<PermissionChecker> checker;
  FakeWindowSystem windows;
  std::shared_ptr<WindowManager> manager;
  FakeLoginItems loginItems;
  std::ostringstream out;
  std::unique_ptr<LaunchAtLoginManager> launchAtLogin;
  int quitCalls = 0;
  std::unique_ptr<ViewServices> services;
};

}  // namespace dozewick::testing
