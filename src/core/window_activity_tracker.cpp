#include "core/window_activity_tracker.h"

#include <algorithm>
#include <utility>

namespace dozewick {

void WindowActivityTracker::updateActiveWindows(const std::vector<WindowInfo>& windows,
                                                std::optional<std::int32_t> frontmostAppPID) {
  const double now = clock_.now();
  for (const auto& window : windows) {
    if (seenWindows_.insert(window).second) {
      // Assigning keeps the key stored first, so the record entered first stays.
      lastActiveTime_[window] = now;
    }
  }
  if (!frontmostAppPID)
    return;
  for (const auto& window : windows) {
    if (window.appPID == *frontmostAppPID)
      lastActiveTime_[window] = now;
  }
}

std::vector<WindowInfo> WindowActivityTracker::getWindowsToMinimize(
    std::size_t protectedTopN, double inactiveThreshold,
    std::optional<std::int32_t> frontmostAppPID) const {
  const double now = clock_.now();
  std::vector<std::pair<const WindowInfo*, double>> candidates;
  for (const auto& [window, lastActive] : lastActiveTime_) {
    if (minimizedWindows_.contains(window))
      continue;
    if (frontmostAppPID && window.appPID == *frontmostAppPID)
      continue;
    const double inactiveDuration = now - lastActive;
    // Written so that a duration that is not a number never qualifies.
    if (inactiveDuration >= inactiveThreshold)
      candidates.emplace_back(&window, inactiveDuration);
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const auto& a, const auto& b) { return a.second < b.second; });

  const std::size_t keep = std::min(protectedTopN, candidates.size());
  std::vector<WindowInfo> result;
  result.reserve(candidates.size() - keep);
  for (auto it = candidates.begin() + static_cast<std::ptrdiff_t>(keep); it != candidates.end();
       ++it) {
    result.push_back(*it->first);
  }
  return result;
}

void WindowActivityTracker::markAsMinimized(const WindowInfo& window) {
  minimizedWindows_.insert(window);
}

std::int64_t WindowActivityTracker::getActiveWindowCount() const {
  return static_cast<std::int64_t>(lastActiveTime_.size()) -
         static_cast<std::int64_t>(minimizedWindows_.size());
}

std::int64_t WindowActivityTracker::getMinimizedWindowCount() const {
  return static_cast<std::int64_t>(minimizedWindows_.size());
}

void WindowActivityTracker::cleanupClosedWindows(const std::vector<WindowInfo>& currentWindows) {
  std::unordered_set<std::uint32_t> current;
  current.reserve(currentWindows.size());
  for (const auto& window : currentWindows)
    current.insert(window.windowID);
  const auto listed = [&current](const WindowInfo& window) {
    return current.contains(window.windowID);
  };

  // Minimized windows are off screen, so their times must survive this check.
  std::erase_if(lastActiveTime_, [&](const auto& entry) {
    return !listed(entry.first) && !minimizedWindows_.contains(entry.first);
  });
  std::erase_if(minimizedWindows_, [&](const WindowInfo& window) { return !listed(window); });
  std::erase_if(seenWindows_, [&](const WindowInfo& window) { return !listed(window); });
}

void WindowActivityTracker::reset() {
  lastActiveTime_.clear();
  minimizedWindows_.clear();
  seenWindows_.clear();
}

}  // namespace dozewick
