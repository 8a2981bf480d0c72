// Whether Dozewick can manage the desktop's windows, and the guided check that leads there.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

  // Answers the trust question at once, so that the first icon drawn is already right. The
  // backend answers the trust query from what it holds, takes the Authorize step (the prompt)
  // and shows the help page (the settings).
  static std::shared_ptr<PermissionChecker> create(Runtime& runtime, const Localizer& texts,
                                                   Backend& backend);
  // The program's one instance; built where the real pieces are wired together.
  static PermissionChecker& shared();

  const Published<bool>& hasAccessibilityPermission() const { return hasAccessibilityPermission_; }
  const Published<bool>& isCheckingPermission() const { return isCheckingPermission_; }
  const Published<std::string>& checkStatus() const { return checkStatus_; }
  // The desktop cannot tell yet (its part is still being set up): no warning is due. The checker
  // asks again a few times a second until it can.
  const Published<bool>& isAnswerPending() const { return isAnswerPending_; }
  // What the last prompt had to tell the user; empty at each new guided check.
  const Published<std::string>& promptNote() const { return promptNote_; }
  // Authorize did its part, and the grant comes with the user's next login: the status says so
  // until the desktop answers, instead of a poll running out.
  const Published<bool>& needsNewLogin() const { return needsNewLogin_; }
  std::int64_t checkCount() const { return checkCount_; }
  // The last check found a window manager that keeps every window it is asked to put away.
  bool keepsWindows() const { return keepsWindows_; }
  bool hasCheckTimer() const { return checkTimer_ != nullptr; }

  // Runs the silent query and publishes only a change of the answer.
  void checkPermissionAsync(std::function<void(bool granted)> done) override;
  // The same, but an answer not known yet is waited for: what a press of Start asks, so that it
  // does not take "not yet" for "no" and present the permission sheet.
  void checkPermissionOnceKnown(std::function<void(bool granted)> done);
  void startCheckingPermission();
  // What the permission dialog does when it closes: ends a poll and keeps the status text.
  void stopCheckingPermission();

 private:
  PermissionChecker(Runtime& runtime, const Localizer& texts, Backend& backend);
  void performPermissionCheck(std::function<void(Readiness)> deliver);
  // Publishes what an answer changes; returns whether it grants.
  bool takeAnswer(Readiness readiness);
  void pollTick();
  void stopTimer();

  Runtime& runtime_;
  const Localizer& texts_;
  Backend& backend_;
  Published<bool> hasAccessibilityPermission_{*this, false};
  Published<bool> isCheckingPermission_{*this, false};
  Published<std::string> checkStatus_{*this, std::string()};
  Published<std::string> promptNote_{*this, std::string()};
  Published<bool> isAnswerPending_{*this, false};
  Published<bool> needsNewLogin_{*this, false};
  std::shared_ptr<RepeatingTimer> checkTimer_;
  std::shared_ptr<RepeatingTimer> pendingTimer_;
  std::vector<std::function<void(bool)>> awaitingAnswer_;
  std::int64_t checkCount_ = 0;
  bool keepsWindows_ = false;
};

}  // namespace dozewick
