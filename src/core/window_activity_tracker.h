// When each window was last active, and which windows are to go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "clock.h"
#include "window_info.h"

namespace dozewick {

// Remembers when each window was last active and chooses the windows that are to go.
class WindowActivityTracker {
 public:
  explicit WindowActivityTracker(const Clock& clock) : clock_(clock) {}

  void updateActiveWindows(const std::vector<WindowInfo>& windows,
                           std::optional<std::int32_t> frontmostAppPID);
  // The same for a list of windows that have all been seen already: only the frontmost
  // application's windows are marked active now.
  void markFrontmostActive(const std::vector<WindowInfo>& windows,
                           std::optional<std::int32_t> frontmostAppPID);
  std::vector<WindowInfo> getWindowsToMinimize(std::size_t protectedTopN, double inactiveThreshold,
                                               std::optional<std::int32_t> frontmostAppPID) const;
  // The same, where the windows of the applications in `neverHide` are exempt like the frontmost
  // application's: they are never chosen and take no protected place.
  std::vector<WindowInfo> getWindowsToMinimize(std::size_t protectedTopN, double inactiveThreshold,
                                               std::optional<std::int32_t> frontmostAppPID,
                                               const std::vector<std::string>& neverHide) const;
  void markAsMinimized(const WindowInfo& window);
  std::int64_t getActiveWindowCount() const;
  std::int64_t getMinimizedWindowCount() const;
  void cleanupClosedWindows(const std::vector<WindowInfo>& currentWindows);
  void reset();

 private:
  // One reading of the clock for all windows of one call.
  void markFrontmostActive(const std::vector<WindowInfo>& windows,
                           std::optional<std::int32_t> frontmostAppPID, double now);

  const Clock& clock_;
  std::unordered_map<WindowInfo, double> lastActiveTime_;
  std::unordered_set<WindowInfo> minimizedWindows_;
  std::unordered_set<WindowInfo> seenWindows_;
};

}  // namespace dozewick
