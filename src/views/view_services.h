// What the views read and call: the services, and how Dozewick's own windows behave.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/runtime.h"
#include "core/window_manager.h"
#include "localization/language_manager.h"
#include "localization/user_settings.h"
#include "platform/backend.h"
#include "platform/desktop_applications.h"
#include "platform/launch_at_login.h"
#include "platform/permission_checker.h"

namespace dozewick {

// What the views read and call. The app hands in the real objects; tests hand in their own.
struct ViewServices {
  WindowManager& manager;
  PermissionChecker& checker;
  LanguageManager& language;
  LaunchAtLoginManager& launchAtLogin;
  Runtime& runtime;
  OwnWindows& ownWindows;      // the panel and its dialogs towards the window manager
  std::function<void()> quit;  // the program's termination path
  std::string executablePath;  // shown by the permission dialog
  // What the desktop needs (a text key), shown by the permission dialog in the path's place;
  // empty: the path is shown.
  std::string requirementKey = {};
  // Where the shell draws Dozewick's icon only once Dozewick's part is installed, and the panel is
  // an ordinary window meanwhile (GNOME Shell on X11): installs that part. Unset elsewhere.
  std::function<AuthorizeOutcome()> installShellIcon = {};
  // The everyday settings; the settings dialog shows them when they are given.
  UserSettings* settings = nullptr;
  // The applications with windows on screen now, and how the user knows an application (its
  // name in an interface language and its icon), for the list of applications never minimized.
  std::function<std::vector<std::string>()> applicationsOnScreen = {};
  std::function<KnownApplication(const std::string& appName, const std::string& language)>
      knownApplication = {};
};

}  // namespace dozewick
