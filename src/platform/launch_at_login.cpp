#include "platform/launch_at_login.h"

#include <ostream>

namespace dozewick {

LaunchAtLoginManager::LaunchAtLoginManager(Runtime& runtime, LoginItemService& service,
                                           std::ostream& out)
    : runtime_(runtime),
      service_(service),
      out_(out),
      isEnabled_(*this, service.status() == LoginItemStatus::enabled) {}

void LaunchAtLoginManager::setEnabled(bool enabled) {
  const bool changed = enabled != isEnabled_.get();
  isEnabled_ = enabled;
  if (changed)
    updateLaunchAtLogin();
}

LoginItemStatus LaunchAtLoginManager::systemStatus() const {
  return service_.status();
}

void LaunchAtLoginManager::updateLaunchAtLogin() {
  const LoginItemStatus status = service_.status();
  std::optional<std::string> error;
  if (isEnabled_.get()) {
    if (status == LoginItemStatus::enabled)
      return;
    error = service_.registerItem();
  } else {
    if (status == LoginItemStatus::notRegistered)
      return;
    error = service_.unregisterItem();
  }
  if (!error)
    return;
  out_ << "Failed to update launch at login: " << *error << std::endl;
  // The switch falls back to what the system really holds once this change has finished.
  runtime_.post([this, alive = std::weak_ptr<void>(alive_)] {
    if (alive.expired())
      return;
    setEnabled(systemStatus() == LoginItemStatus::enabled);
  });
}

}  // namespace dozewick
