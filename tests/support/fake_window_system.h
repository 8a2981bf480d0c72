// An in-memory desktop for the core's tests, which hands out its listing as the backends do.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/window_system.h"

namespace dozewick::testing {

// An in-memory desktop: windows of applications, some of them running locally. Like every backend
// it hands out the same listing again as long as the windows listed have not changed.
class FakeWindowSystem final : public WindowSystem {
 public:
  struct Window {
    std::uint32_t id;
    std::int32_t pid;
    std::string appName;
    std::string title;
    bool minimized = false;
  };

  std::vector<Window> windows;
  std::set<std::int32_t> runningApps;  // pids that hideApplication finds
  std::optional<std::int32_t> frontmost;
  bool listingFails = false;
  std::set<std::uint64_t> refuseMinimize;  // window ids whose minimizing the platform refuses
  bool answersLater = false;               // what hideApplication asks for goes only at answer()
  std::set<std::uint32_t> keeps;           // window ids the desktop keeps on screen when it answers

  std::vector<std::int32_t> hideRequests;
  std::vector<std::uint64_t> minimizeRequests;

  // Adds a window of a running application.
  void open(std::uint32_t id, std::int32_t pid, std::string title = "", std::string app = "App") {
    windows.push_back(Window{id, pid, std::move(app), std::move(title)});
    runningApps.insert(pid);
  }

  WindowEntries onScreenWindowEntries() override {
    if (listingFails)
      return nullptr;
    std::vector<WindowEntry> entries;
    for (const auto& w : windows) {
      if (w.minimized)
        continue;
      entries.push_back(WindowEntry{std::int64_t{0}, std::int64_t{w.id}, std::int64_t{w.pid},
                                    w.appName, w.title});
    }
    return listed_ = unlessUnchanged(listed_, std::move(entries));
  }

  bool hideApplication(std::int32_t pid) override {
    hideRequests.push_back(pid);
    if (!runningApps.contains(pid))
      return false;
    for (auto& w : windows) {
      if (w.pid != pid || w.minimized)
        continue;
      if (answersLater)
        asked_.insert(w.id);
      else
        w.minimized = true;
    }
    return true;
  }

  void answer() {
    for (auto& w : windows) {
      if (!asked_.erase(w.id))
        continue;
      if (keeps.contains(w.id))
        kept_.insert(w.id);
      else
        w.minimized = true;
    }
  }

  std::optional<std::vector<AccessibleWindow>> applicationWindows(std::int32_t pid) override {
    std::vector<AccessibleWindow> result;
    for (const auto& w : windows) {
      if (w.pid == pid)
        result.push_back(AccessibleWindow{w.id, w.title, w.minimized});
    }
    return result;
  }

  bool setMinimized(const AccessibleWindow& window) override {
    minimizeRequests.push_back(window.handle);
    if (refuseMinimize.contains(window.handle))
      return false;
    auto it = std::find_if(windows.begin(), windows.end(),
                           [&](const Window& w) { return w.id == window.handle; });
    if (it == windows.end())
      return false;
    it->minimized = true;
    return true;
  }

  std::optional<std::int32_t> frontmostApplicationPID() override { return frontmost; }

  MinimizeOutcome minimizeOutcome(std::uint32_t number) override {
    const auto w = std::find_if(windows.begin(), windows.end(),
                                [&](const Window& w) { return w.id == number; });
    if (w == windows.end() || w->minimized)
      return MinimizeOutcome::minimized;
    if (asked_.contains(number))
      return MinimizeOutcome::pending;
    return kept_.contains(number) ? MinimizeOutcome::kept : MinimizeOutcome::unasked;
  }
  std::int64_t keptWindowCount() override {
    return std::count_if(windows.begin(), windows.end(),
                         [&](const Window& w) { return kept_.contains(w.id) && !w.minimized; });
  }

  std::vector<std::uint32_t> restoreRequests;
  bool restoreWindows(const std::vector<std::uint32_t>& numbers) override {
    restoreRequests.insert(restoreRequests.end(), numbers.begin(), numbers.end());
    for (auto& w : windows)
      w.minimized = w.minimized && std::find(numbers.begin(), numbers.end(), w.id) == numbers.end();
    return true;
  }

  void restoreAll() {
    for (auto& w : windows)
      w.minimized = false;
  }

 private:
  WindowEntries listed_;
  std::set<std::uint32_t> asked_;
  std::set<std::uint32_t> kept_;
};

}  // namespace dozewick::testing
