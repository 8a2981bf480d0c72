// The minimizing loop: one check a second while running, and the countdown beside it.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_set>

#include "clock.h"
#include "observable.h"
#include "policy.h"
#include "runtime.h"
#include "trust_check.h"
#include "window_activity_tracker.h"
#include "window_system.h"

namespace dozewick {

// The minimizing loop: one check a second while running, and a display countdown beside it.
class WindowManager final : public ObservableObject,
                            public std::enable_shared_from_this<WindowManager> {
 public:
  static constexpr std::size_t protectedWindowCount = 3;
  static constexpr double inactiveThreshold = 60.0;
  static constexpr std::int64_t countdownStart = 60;
  static constexpr std::size_t kMaxPutAway = 1024;

  static std::shared_ptr<WindowManager> create(const Clock& clock, Runtime& runtime,
                                               WindowSystem& windows, TrustCheck& trust);
  // The program's one instance; built where the real pieces are wired together.
  static WindowManager& shared();

  const Published<bool>& isRunning() const { return isRunning_; }
  const Published<std::int64_t>& activeWindowCount() const { return activeWindowCount_; }
  const Published<std::int64_t>& minimizedCount() const { return minimizedCount_; }
  const Published<std::int64_t>& nextMinimizeIn() const { return nextMinimizeIn_; }
  // Windows due to go that the desktop kept on screen, as of the last check.
  const Published<std::int64_t>& keptCount() const { return keptCount_; }
  // Windows this run put away that have not been on screen since: what bringBack() restores.
  const Published<std::int64_t>& putAwayCount() const { return putAwayCount_; }

  // Returns at once; the loop runs once the trust check has answered true.
  void start();
  void stop();
  // Restores the windows this run put away, the last put away first; a window the user showed
  // again since (and may have minimized again) is left alone. False when the desktop refused.
  bool bringBack();

  // The idle time, protected places and kept applications of the next checks. The countdown
  // follows a new idle time at once: it restarts from it, or, while running, never shows more.
  void setPolicy(Policy policy);
  const Policy& policy() const { return policy_; }

  bool hasTimers() const { return timer_ != nullptr || countdownTimer_ != nullptr; }

 private:
  WindowManager(const Clock& clock, Runtime& runtime, WindowSystem& windows, TrustCheck& trust);

  void beginRunning();
  void checkAndMinimize();
  void markConfirmed();
  void minimize(const WindowInfo& window);
  void putAway(const WindowInfo& window);
  void forgetShown();
  void countdownStep();
  void dropTimers();
  std::int64_t countdownFrom() const;

  Runtime& runtime_;
  WindowSystem& windows_;
  TrustCheck& trust_;
  WindowActivityTracker tracker_;
  Policy policy_;
  WindowEntries listed_;  // the listing the last check saw, and its application windows
  std::vector<WindowInfo> visibleWindows_;
  std::vector<WindowInfo> awaiting_;     // asked to go, the desktop's answer not yet heard
  std::unordered_set<WindowInfo> kept_;  // the desktop kept them: not offered to it in vain
  std::vector<WindowInfo> putAway_;      // confirmed gone this run, in order, not shown since

  Published<bool> isRunning_{*this, false};
  Published<std::int64_t> activeWindowCount_{*this, 0};
  Published<std::int64_t> minimizedCount_{*this, 0};
  Published<std::int64_t> nextMinimizeIn_{*this, countdownStart};
  Published<std::int64_t> keptCount_{*this, 0};
  Published<std::int64_t> putAwayCount_{*this, 0};

  std::shared_ptr<RepeatingTimer> timer_;
  std::shared_ptr<RepeatingTimer> countdownTimer_;
};

}  // namespace dozewick
