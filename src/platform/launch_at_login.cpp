// Launch at login: the settings switch in step with the login item.
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
    if (status != LoginItemStatus::enabled)
      error = service_.registerItem();
  } else {
    if (status != LoginItemStatus::notRegistered)
      error = service_.unregisterItem();
  }
  if (!error) {
    if (!lastError_.get().empty())
      lastError_ = std::string();
    return;
  }
  out_ << "Failed to update launch at login: " << *error << std::endl;
  lastError_ = *error;
  // The switch falls back to what the system really holds once this change has finished. It
  // only shows that state: acting on it would undo an entry the user made, which this failed
  // attempt never wrote.
  runtime_.post([this, alive = std::weak_ptr<void>(alive_)] {
    if (alive.expired())
      return;
    isEnabled_ = systemStatus() == LoginItemStatus::enabled;
  });
}

}  // namespace dozewick
