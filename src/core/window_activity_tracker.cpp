// When each window was last active, and which windows are to go.
#include "core/window_activity_tracker.h"

#include <algorithm>
#include <utility>

#include "core/policy.h"

namespace dozewick {
namespace {

// The window numbers of one list. Open addressing in one block of memory: a check builds one of
// these every second, and a node per window would cost an allocation per window.
class WindowIDSet {
 public:
  explicit WindowIDSet(const std::vector<WindowInfo>& windows) {
    std::size_t capacity = 16;
    while (capacity < windows.size() * 2)
      capacity *= 2;
    slots_.assign(capacity, kEmpty);
    mask_ = capacity - 1;
    for (const auto& window : windows)
      insert(window.windowID);
  }

  bool contains(std::uint32_t id) const {
    for (std::size_t i = slotOf(id);; i = (i + 1) & mask_) {
      if (slots_[i] == kEmpty)
        return false;
      if (slots_[i] == id)
        return true;
    }
  }

 private:
  // Every 32-bit id is a valid window number, so the empty mark lies outside that range.
  static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};

  std::size_t slotOf(std::uint32_t id) const {
    return static_cast<std::size_t>((id * 0x9E3779B97F4A7C15ull) >> 20) & mask_;
  }
  void insert(std::uint32_t id) {
    for (std::size_t i = slotOf(id);; i = (i + 1) & mask_) {
      if (slots_[i] == id)
        return;
      if (slots_[i] == kEmpty) {
        slots_[i] = id;
        return;
      }
    }
  }

  std::vector<std::uint64_t> slots_;
  std::size_t mask_ = 0;
};

}  // namespace

void WindowActivityTracker::updateActiveWindows(const std::vector<WindowInfo>& windows,
                                                std::optional<std::int32_t> frontmostAppPID) {
  const double now = clock_.now();
  for (const auto& window : windows) {
    if (seenWindows_.insert(window).second) {
      // Assigning keeps the key stored first, so the record entered first stays.
      lastActiveTime_[window] = now;
    }
  }
  markFrontmostActive(windows, frontmostAppPID, now);
}

void WindowActivityTracker::markFrontmostActive(const std::vector<WindowInfo>& windows,
                                                std::optional<std::int32_t> frontmostAppPID) {
  if (frontmostAppPID)
    markFrontmostActive(windows, frontmostAppPID, clock_.now());
}

void WindowActivityTracker::markFrontmostActive(const std::vector<WindowInfo>& windows,
                                                std::optional<std::int32_t> frontmostAppPID,
                                                double now) {
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
  return getWindowsToMinimize(protectedTopN, inactiveThreshold, frontmostAppPID, {});
}

std::vector<WindowInfo> WindowActivityTracker::getWindowsToMinimize(
    std::size_t protectedTopN, double inactiveThreshold,
    std::optional<std::int32_t> frontmostAppPID, const std::vector<std::string>& neverHide) const {
  const double now = clock_.now();
  std::vector<std::pair<const WindowInfo*, double>> candidates;
  for (const auto& [window, lastActive] : lastActiveTime_) {
    if (minimizedWindows_.contains(window))
      continue;
    if (frontmostAppPID && window.appPID == *frontmostAppPID)
      continue;
    const double inactiveDuration = now - lastActive;
    // Written so that a duration that is not a number never qualifies.
    if (inactiveDuration >= inactiveThreshold && !isNeverHidden(window.appName, neverHide))
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
  const WindowIDSet current(currentWindows);
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
