// Starting the loop at launch, once the desktop can be managed, when the user asked for it.
#include "app/launch_start.h"

namespace dozewick {

std::shared_ptr<LaunchStart> LaunchStart::begin(UserSettings& settings, WindowManager& manager,
                                                PermissionChecker& checker) {
  if (!settings.startAtLaunch()())
    return nullptr;
  std::shared_ptr<LaunchStart> launch(new LaunchStart(manager, checker));
  std::weak_ptr<LaunchStart> weak = launch;
  checker.checkPermissionAsync([weak](bool granted) {
    if (auto self = weak.lock())
      self->checked(granted);
  });
  return launch;
}

void LaunchStart::checked(bool granted) {
  if (granted) {
    start();
    return;
  }
  // The trust poll publishes every answer; the first true one starts the loop.
  std::weak_ptr<LaunchStart> weak = weak_from_this();
  waiting_ = checker_.hasAccessibilityPermission().willSet().connect([weak](bool now) {
    if (auto self = weak.lock(); self && now)
      self->start();
  });
}

void LaunchStart::start() {
  if (done_)
    return;
  done_ = true;
  waiting_ = Subscription();
  if (!manager_.isRunning()())
    manager_.start();
}

}  // namespace dozewick
