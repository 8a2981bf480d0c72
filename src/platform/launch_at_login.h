// Launch at login: the settings switch in step with the login item.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "core/observable.h"
#include "core/runtime.h"

namespace dozewick {

enum class LoginItemStatus { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

// The system's registration of the program as a login item.
class LoginItemService {
 public:
  virtual ~LoginItemService() = default;
  virtual LoginItemStatus status() const = 0;
  // Each answers nothing on success, or the error's description.
  virtual std::optional<std::string> registerItem() = 0;
  virtual std::optional<std::string> unregisterItem() = 0;
};

// Keeps the settings switch in step with the login item.
class LaunchAtLoginManager final : public ObservableObject {
 public:
  LaunchAtLoginManager(Runtime& runtime, LoginItemService& service, std::ostream& out);
  // The program's one instance; built where the real pieces are wired together.
  static LaunchAtLoginManager& shared();

  const Published<bool>& isEnabled() const { return isEnabled_; }
  // Registers or unregisters when the value changes; after a failure the switch falls back to
  // what the system really holds, without touching the system again.
  void setEnabled(bool enabled);
  LoginItemStatus systemStatus() const;
  // Why the last change failed; empty once a change has gone through.
  const Published<std::string>& lastError() const { return lastError_; }

 private:
  void updateLaunchAtLogin();

  Runtime& runtime_;
  LoginItemService& service_;
  std::ostream& out_;
  Published<bool> isEnabled_;
  Published<std::string> lastError_{*this, {}};
  // Lets a revert that is still queued notice that the manager is gone.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace dozewick
