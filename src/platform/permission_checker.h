// Whether Dozewick can manage the desktop's windows, and the guided check that leads there.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/localizer.h"
#include "core/observable.h"
#include "core/runtime.h"
#include "core/trust_check.h"
#include "platform/backend.h"

namespace dozewick {

// Knows whether the program can manage windows here, and guides the user towards it.
class PermissionChecker final : public ObservableObject,
                                public TrustCheck,
                                public std::enable_shared_from_this<PermissionChecker> {
 public:
  static constexpr std::int64_t maxCheckCount = 30;

  // Starts a first check without waiting for it. The backend answers the trust query from what
  // it holds, takes the Authorize step (the prompt) and shows the help page (the settings).
  static std::shared_ptr<PermissionChecker> create(Runtime& runtime, const Localizer& texts,
                                                   Backend& backend);
  // The program's one instance; built where the real pieces are wired together.
  static PermissionChecker& shared();

  const Published<bool>& hasAccessibilityPermission() const { return hasAccessibilityPermission_; }
  const Published<bool>& isCheckingPermission() const { return isCheckingPermission_; }
  const Published<std::string>& checkStatus() const { return checkStatus_; }
  // What the last prompt had to tell the user; empty at each new guided check.
  const Published<std::string>& promptNote() const { return promptNote_; }
  std::int64_t checkCount() const { return checkCount_; }
  // The last check found a window manager that keeps every window it is asked to put away.
  bool keepsWindows() const { return keepsWindows_; }
  bool hasCheckTimer() const { return checkTimer_ != nullptr; }

  // Runs the silent query and publishes only a change of the answer.
  void checkPermissionAsync(std::function<void(bool granted)> done) override;
  void startCheckingPermission();
  // What the permission dialog does when it closes: ends a poll and keeps the status text.
  void stopCheckingPermission();

 private:
  PermissionChecker(Runtime& runtime, const Localizer& texts, Backend& backend);
  void performPermissionCheck(std::function<void(bool)> deliver);
  void pollTick();
  void stopTimer();

  Runtime& runtime_;
  const Localizer& texts_;
  Backend& backend_;
  Published<bool> hasAccessibilityPermission_{*this, false};
  Published<bool> isCheckingPermission_{*this, false};
  Published<std::string> checkStatus_{*this, std::string()};
  Published<std::string> promptNote_{*this, std::string()};
  std::shared_ptr<RepeatingTimer> checkTimer_;
  std::int64_t checkCount_ = 0;
  bool keepsWindows_ = false;
};

}  // namespace dozewick
