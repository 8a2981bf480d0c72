// The minimizing loop: one check a second while running, and the countdown beside it.
#include "core/window_manager.h"

#include <algorithm>
#include <cmath>

#include "core/window_rules.h"

namespace dozewick {

using namespace std::chrono_literals;

std::shared_ptr<WindowManager> WindowManager::create(const Clock& clock, Runtime& runtime,
                                                     WindowSystem& windows, TrustCheck& trust) {
  return std::shared_ptr<WindowManager>(new WindowManager(clock, runtime, windows, trust));
}

WindowManager::WindowManager(const Clock& clock, Runtime& runtime, WindowSystem& windows,
                             TrustCheck& trust)
    : runtime_(runtime), windows_(windows), trust_(trust), tracker_(clock) {}

void WindowManager::start() {
  // The task holds the manager until the check has answered.
  runtime_.post([self = shared_from_this()] {
    self->trust_.checkPermissionAsync([self](bool granted) {
      if (granted)
        self->beginRunning();
    });
  });
}

void WindowManager::beginRunning() {
  // A second start before a stop would otherwise leave the first start's timers running with
  // nothing left to stop them.
  dropTimers();
  isRunning_ = true;
  tracker_.reset();
  nextMinimizeIn_ = countdownFrom();
  awaiting_.clear();
  kept_.clear();
  putAway_.clear();
  putAwayCount_ = 0;

  // Both started before the first check, so that they stay due together and share each wake-up.
  std::weak_ptr<WindowManager> weak = weak_from_this();
  timer_ = runtime_.scheduleRepeating(1000ms, [weak] {
    if (auto self = weak.lock())
      self->checkAndMinimize();
  });
  countdownTimer_ = runtime_.scheduleRepeating(1000ms, [weak] {
    if (auto self = weak.lock())
      self->countdownStep();
  });
  checkAndMinimize();
}

void WindowManager::stop() {
  isRunning_ = false;
  dropTimers();
  nextMinimizeIn_ = countdownFrom();
  listed_ = nullptr;
  visibleWindows_.clear();
  awaiting_.clear();
  kept_.clear();
  // Without checks nothing would notice a window the user shows and minimizes again.
  putAway_.clear();
  putAwayCount_ = 0;
}

void WindowManager::dropTimers() {
  if (auto timer = std::exchange(timer_, nullptr))
    timer->invalidate();
  if (auto timer = std::exchange(countdownTimer_, nullptr))
    timer->invalidate();
}

void WindowManager::countdownStep() {
  if (!isRunning_())
    return;
  if (nextMinimizeIn_() > 0) {
    nextMinimizeIn_ = nextMinimizeIn_() - 1;
  } else {
    nextMinimizeIn_ = countdownFrom();
  }
}

std::int64_t WindowManager::countdownFrom() const {
  // Written so that an idle time that is not a number shows the usual start.
  if (!(policy_.inactiveThreshold >= 0.0 && policy_.inactiveThreshold <= Policy::kMaxIdleSeconds))
    return countdownStart;
  return static_cast<std::int64_t>(std::lround(policy_.inactiveThreshold));
}

void WindowManager::setPolicy(Policy policy) {
  if (policy == policy_)
    return;
  policy_ = std::move(policy);
  const std::int64_t from = countdownFrom();
  if (!isRunning_() || nextMinimizeIn_() > from)
    nextMinimizeIn_ = from;
}

void WindowManager::checkAndMinimize() {
  if (!isRunning_())
    return;
  // The same listing as at the last check holds the same windows: the rules need not run again,
  // and no window can have closed since.
  const auto entries = windows_.onScreenWindowEntries();
  const bool sameListing = entries && entries == listed_;
  if (!entries) {
    visibleWindows_.clear();
  } else if (!sameListing) {
    visibleWindows_ = getVisibleWindows(*entries);
  }
  listed_ = entries;
  const auto& windows = visibleWindows_;
  const auto frontmostAppPID = windows_.frontmostApplicationPID();

  markConfirmed();
  if (sameListing) {
    // Every window of it has been seen before: only the frontmost application's are marked.
    tracker_.markFrontmostActive(windows, frontmostAppPID);
  } else {
    tracker_.cleanupClosedWindows(windows);
    tracker_.updateActiveWindows(windows, frontmostAppPID);
    if (!kept_.empty()) {
      const std::unordered_set<WindowInfo> listed(windows.begin(), windows.end());
      std::erase_if(kept_, [&](const WindowInfo& window) { return !listed.contains(window); });
    }
    forgetShown();
  }
  const auto toMinimize = tracker_.getWindowsToMinimize(
      policy_.protectedWindowCount, policy_.inactiveThreshold, frontmostAppPID, policy_.neverHide);
  for (const auto& window : toMinimize)
    minimize(window);

  activeWindowCount_ = tracker_.getActiveWindowCount();
  minimizedCount_ = tracker_.getMinimizedWindowCount();
  keptCount_ = windows_.keptWindowCount();
}

// Windows the desktop put away since they were asked to go are marked before the cleanup, which
// would take them for closed. One that left the listing unconfirmed (moved to another desktop,
// say) was forgotten by the cleanup when it left and is dropped here.
void WindowManager::markConfirmed() {
  std::erase_if(awaiting_, [this](const WindowInfo& window) {
    switch (windows_.minimizeOutcome(window.windowID)) {
      case MinimizeOutcome::minimized:
        putAway(window);
        return true;
      case MinimizeOutcome::pending:
        return std::none_of(visibleWindows_.begin(), visibleWindows_.end(),
                            [&](const WindowInfo& listed) { return listed == window; });
      case MinimizeOutcome::kept:
        kept_.insert(window);
        return true;
      case MinimizeOutcome::unasked:
        return true;
    }
    return true;
  });
}

// Only a window the desktop reports put away is marked; one still on its way is looked at again
// at the next checks. One the desktop kept is offered again only once the desktop would take it,
// so that a window manager that keeps windows costs no more a check than one that has none due.
void WindowManager::minimize(const WindowInfo& window) {
  if (std::find(awaiting_.begin(), awaiting_.end(), window) != awaiting_.end())
    return;
  if (kept_.contains(window)) {
    if (windows_.minimizeOutcome(window.windowID) == MinimizeOutcome::kept)
      return;
    kept_.erase(window);
  }
  if (!minimizeWindow(windows_, window))
    return;
  switch (windows_.minimizeOutcome(window.windowID)) {
    case MinimizeOutcome::minimized:
      putAway(window);
      break;
    case MinimizeOutcome::pending:
      awaiting_.push_back(window);
      break;
    case MinimizeOutcome::kept:
      kept_.insert(window);
      break;
    case MinimizeOutcome::unasked:
      break;
  }
}

void WindowManager::putAway(const WindowInfo& window) {
  tracker_.markAsMinimized(window);
  // The tracker offers a window again once it has left the listing: it keeps its first place.
  if (std::find(putAway_.begin(), putAway_.end(), window) != putAway_.end())
    return;
  putAway_.push_back(window);
  // Closed windows leave no trace the loop could see: the oldest give way.
  if (putAway_.size() > kMaxPutAway)
    putAway_.erase(putAway_.begin());
  putAwayCount_ = static_cast<std::int64_t>(putAway_.size());
}

// A window on screen again is the user's from then on.
void WindowManager::forgetShown() {
  if (putAway_.empty())
    return;
  const std::unordered_set<WindowInfo> shown(visibleWindows_.begin(), visibleWindows_.end());
  if (std::erase_if(putAway_, [&](const WindowInfo& window) { return shown.contains(window); }) > 0)
    putAwayCount_ = static_cast<std::int64_t>(putAway_.size());
}

bool WindowManager::bringBack() {
  if (putAway_.empty())
    return true;
  std::vector<std::uint32_t> numbers;
  numbers.reserve(putAway_.size());
  for (auto window = putAway_.rbegin(); window != putAway_.rend(); ++window)
    numbers.push_back(window->windowID);
  if (!windows_.restoreWindows(numbers))
    return false;
  putAway_.clear();
  putAwayCount_ = 0;
  return true;
}

}  // namespace dozewick
