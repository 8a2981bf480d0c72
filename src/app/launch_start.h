// Starting the loop at launch, once the desktop can be managed, when the user asked for it.
#pragma once

#include <memory>

#include "core/observable.h"
#include "core/window_manager.h"
#include "localization/user_settings.h"
#include "platform/permission_checker.h"

namespace dozewick {

// Starts the loop at launch when the user's setting asks for it: at once when the desktop can be
// managed (the same check as Start), else as soon as the trust poll finds that it can (GNOME
// before its extension runs). One start at most; a loop already running is left as it is.
class LaunchStart final : public std::enable_shared_from_this<LaunchStart> {
 public:
  static std::shared_ptr<LaunchStart> begin(UserSettings& settings, WindowManager& manager,
                                            PermissionChecker& checker);

 private:
  LaunchStart(WindowManager& manager, PermissionChecker& checker)
      : manager_(manager), checker_(checker) {}
  void checked(bool granted);
  void start();

  WindowManager& manager_;
  PermissionChecker& checker_;
  Subscription waiting_;
  bool done_ = false;
};

}  // namespace dozewick
