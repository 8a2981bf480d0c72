// The desktop as every backend reports it, and the rules for what Dozewick lists and touches.
#include "platform/desktop_model.h"

#include <algorithm>
#include <ostream>
#include <utility>

namespace dozewick {

DesktopModel::DesktopModel(Transport& transport, std::int32_t ownPid, std::ostream& diagnostics,
                           Order order)
    : transport_(transport), ownPid_(ownPid), diagnostics_(diagnostics), order_(order) {}

void DesktopModel::report(std::vector<DesktopWindow> windows,
                          std::optional<std::int32_t> activePid) {
  if (windows.size() > kMaxWindows) {
    noteTooManyWindows(windows.size());
    windows.resize(kMaxWindows);
  }
  // A window gone gives its number up; one still there keeps it. An id told twice is one window.
  std::unordered_map<std::uint64_t, std::uint32_t> numbers;
  numbers.reserve(windows.size());
  std::erase_if(windows, [&](const DesktopWindow& window) {
    const auto found = numbers_.find(window.id);
    return !numbers.emplace(window.id, found != numbers_.end() ? found->second : 0).second;
  });
  numbers_ = std::move(numbers);
  for (auto& [id, number] : numbers_) {
    if (number == 0)
      number = newNumber();
  }
  windows_ = std::move(windows);
  known_ = true;
  minimizing_.clear();
  listingStale_ = true;
  if (activePid && *activePid > 0 && *activePid == ownPid_) {
    frontmost_ = order_ == Order::topmostFirst ? topmostApplication() : lastApplication_;
    return;
  }
  frontmost_ = activePid && *activePid > 0 ? activePid : std::nullopt;
  // The tray clicked on the way to Dozewick's panel, or a moment without an active window, is no
  // application the user worked in.
  if (std::any_of(windows_.begin(), windows_.end(), [this](const DesktopWindow& window) {
        return window.pid == frontmost_ && managed(window);
      })) {
    lastApplication_ = frontmost_;
  }
}

// The window the window manager raised last, below Dozewick's own, is the one the user was in,
// also when the desktop was not asked in between.
std::optional<std::int32_t> DesktopModel::topmostApplication() const {
  const auto topmost = std::find_if(windows_.begin(), windows_.end(),
                                    [this](const DesktopWindow& window) { return listed(window); });
  return topmost == windows_.end() ? std::nullopt : std::optional(topmost->pid);
}

void DesktopModel::forget() {
  known_ = false;
  windows_.clear();
  frontmost_.reset();
  lastApplication_.reset();
  minimizing_.clear();
  numbers_.clear();
  listingStale_ = true;
  listed_ = nullptr;
}

void DesktopModel::noteTooManyWindows(std::size_t listed) {
  if (std::exchange(warned_, true))
    return;
  diagnostics_ << "Dozewick: the desktop lists " << listed << " windows; only the first "
               << kMaxWindows << " are watched.\n";
}

std::uint32_t DesktopModel::newNumber() {
  for (;;) {
    const std::uint32_t number = nextNumber_++;
    if (nextNumber_ == 0) {
      nextNumber_ = 1;
      numbersWrapped_ = true;
    }
    // Only after four billion windows can a number still be taken.
    if (!numbersWrapped_ ||
        std::none_of(numbers_.begin(), numbers_.end(),
                     [number](const auto& entry) { return entry.second == number; })) {
      return number;
    }
  }
}

std::optional<std::uint32_t> DesktopModel::numberOf(std::uint64_t id) const {
  const auto found = numbers_.find(id);
  if (found == numbers_.end())
    return std::nullopt;
  return found->second;
}

bool DesktopModel::managed(const DesktopWindow& window) const {
  return window.pid > 0 && window.pid != ownPid_ && window.type == WindowType::ordinary &&
         !window.skipsTaskbar;
}

bool DesktopModel::listed(const DesktopWindow& window) const {
  return managed(window) && window.onCurrentDesktop && !window.minimized &&
         !minimizing_.contains(window.id);
}

bool DesktopModel::runs(std::int32_t pid) const {
  return std::any_of(windows_.begin(), windows_.end(), [pid](const DesktopWindow& window) {
    return window.pid == pid && window.processRunsHere;
  });
}

WindowEntries DesktopModel::onScreenWindowEntries() {
  if (!ready())
    return nullptr;
  if (std::exchange(listingStale_, false)) {
    std::vector<WindowEntry> entries;
    entries.reserve(windows_.size());
    for (const DesktopWindow& window : windows_) {
      if (!listed(window))
        continue;
      WindowEntry entry;
      entry.layer = std::int64_t{0};
      entry.number = std::int64_t{numbers_.at(window.id)};
      entry.ownerPID = std::int64_t{window.pid};
      if (window.application)
        entry.ownerName = *window.application;
      if (window.title)
        entry.name = *window.title;
      entries.push_back(std::move(entry));
    }
    listed_ = unlessUnchanged(listed_, std::move(entries));
  }
  return listed_;
}

bool DesktopModel::hideApplication(std::int32_t pid) {
  if (pid <= 0 || pid == ownPid_ || !ready() || !runs(pid))
    return false;
  std::vector<std::uint64_t> ids;
  for (const DesktopWindow& window : windows_) {
    if (window.pid == pid && listed(window))
      ids.push_back(window.id);
  }
  // An application whose windows are all minimized already is hidden.
  if (ids.empty())
    return true;
  switch (transport_.minimize(ids)) {
    case Transport::Answer::taken:
      minimizing_.insert(ids.begin(), ids.end());
      listingStale_ = true;
      return true;
    case Transport::Answer::outdated:
      // What the desktop holds now says whether the application still runs.
      return ready() && runs(pid);
    case Transport::Answer::refused:
      break;
  }
  return false;
}

std::optional<std::vector<AccessibleWindow>> DesktopModel::applicationWindows(std::int32_t pid) {
  if (pid <= 0 || !ready())
    return std::nullopt;
  std::vector<AccessibleWindow> result;
  for (const DesktopWindow& window : windows_) {
    // Minimized ones too, but only of the kinds the listing counts.
    if (window.pid == pid && managed(window) && window.onCurrentDesktop) {
      result.push_back(AccessibleWindow{window.id, window.title,
                                        window.minimized || minimizing_.contains(window.id)});
    }
  }
  return result;
}

bool DesktopModel::setMinimized(const AccessibleWindow& accessible) {
  if (!ready())
    return false;
  const auto window = std::find_if(windows_.begin(), windows_.end(), [&](const DesktopWindow& w) {
    return w.id == accessible.handle;
  });
  if (window == windows_.end() || !managed(*window) ||
      transport_.minimize({window->id}) != Transport::Answer::taken) {
    return false;
  }
  minimizing_.insert(accessible.handle);
  listingStale_ = true;
  return true;
}

std::optional<std::int32_t> DesktopModel::frontmostApplicationPID() {
  if (!ready())
    return std::nullopt;
  return frontmost_;
}

}  // namespace dozewick
