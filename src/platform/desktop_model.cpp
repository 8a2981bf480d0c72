// The desktop as every backend reports it, and the rules for what Dozewick lists and touches.
#include "platform/desktop_model.h"

#include <algorithm>
#include <ostream>
#include <utility>

namespace dozewick {

DesktopModel::DesktopModel(Transport& transport, std::int32_t ownPid, std::ostream& diagnostics,
                           Order order, const Clock* clock)
    : transport_(transport),
      ownPid_(ownPid),
      diagnostics_(diagnostics),
      order_(order),
      ownClock_(clock ? nullptr : std::make_unique<SteadyClock>()),
      clock_(clock ? *clock : *ownClock_) {}

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
  positions_.clear();
  for (auto& [id, number] : numbers_) {
    if (number == 0)
      number = newNumber();
  }
  settle(windows, activePid);
  windows_ = std::move(windows);
  known_ = true;
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

// A window put away, or gone, is answered for; a kept one whose application is active again may be
// asked again when it is next due.
void DesktopModel::settle(const std::vector<DesktopWindow>& reported,
                          std::optional<std::int32_t> activePid) {
  if (pending_.empty() && kept_.empty())
    return;
  std::unordered_map<std::uint64_t, const DesktopWindow*> byId;
  byId.reserve(reported.size());
  for (const DesktopWindow& window : reported)
    byId.emplace(window.id, &window);
  std::erase_if(pending_, [&](const auto& entry) {
    const auto found = byId.find(entry.first);
    if (found == byId.end())
      return true;
    if (found->second->minimized)
      confirmedEver_ = true;
    return found->second->minimized;
  });
  std::erase_if(kept_, [&](const auto& entry) {
    const auto found = byId.find(entry.first);
    return found == byId.end() || found->second->minimized ||
           (activePid && found->second->pid == *activePid);
  });
}

void DesktopModel::expire() {
  if (pending_.empty())
    return;
  const double now = clock_.now();
  std::erase_if(pending_, [&](const auto& entry) {
    if (now < entry.second.answerBy)
      return false;
    kept_[entry.first] = Kept{now + entry.second.backOff, entry.second.backOff};
    keptEver_ = true;
    return true;
  });
}

bool DesktopModel::ready() {
  if (!transport_.refresh() || !known_)
    return false;
  expire();
  return true;
}

void DesktopModel::forget() {
  known_ = false;
  windows_.clear();
  frontmost_.reset();
  lastApplication_.reset();
  pending_.clear();
  kept_.clear();
  keptEver_ = false;
  confirmedEver_ = false;
  numbers_.clear();
  positions_.clear();
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
  return managed(window) && window.onCurrentDesktop && !window.minimized;
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
  switch (ask(ids)) {
    case Transport::Answer::taken:
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
      result.push_back(AccessibleWindow{window.id, window.title, window.minimized});
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
  return window != windows_.end() && managed(*window) &&
         ask({window->id}) == Transport::Answer::taken;
}

bool DesktopModel::askable(std::uint64_t id) const {
  if (pending_.contains(id))
    return false;
  const auto kept = kept_.find(id);
  return kept == kept_.end() || kept->second.retryAt <= clock_.now();
}

// Windows on their way count as asked; kept ones not yet due again make no request.
DesktopModel::Transport::Answer DesktopModel::ask(const std::vector<std::uint64_t>& ids) {
  std::vector<std::uint64_t> fresh;
  for (const std::uint64_t id : ids) {
    if (askable(id))
      fresh.push_back(id);
  }
  if (fresh.empty()) {
    const bool onTheirWay = std::any_of(ids.begin(), ids.end(),
                                        [this](std::uint64_t id) { return pending_.contains(id); });
    return onTheirWay ? Transport::Answer::taken : Transport::Answer::refused;
  }
  const Transport::Answer answer = transport_.minimize(fresh);
  if (answer != Transport::Answer::taken)
    return answer;
  const double now = clock_.now();
  for (const std::uint64_t id : fresh) {
    double backOff = kFirstBackOff;
    if (const auto kept = kept_.find(id); kept != kept_.end()) {
      backOff = std::min(kept->second.backOff * 2, kLastBackOff);
      kept_.erase(kept);
    }
    pending_[id] = Asked{now + kAnswerTime, backOff};
  }
  return answer;
}

std::optional<std::int32_t> DesktopModel::frontmostApplicationPID() {
  if (!ready())
    return std::nullopt;
  return frontmost_;
}

MinimizeOutcome DesktopModel::minimizeOutcome(std::uint32_t number) {
  expire();
  // Built once a report, and only where windows were asked for: a kept window costs one look-up a
  // check.
  if (positions_.empty()) {
    for (std::size_t i = 0; i < windows_.size(); ++i)
      positions_.emplace(numbers_.at(windows_[i].id), i);
  }
  const auto position = positions_.find(number);
  if (position == positions_.end() || windows_[position->second].minimized)
    return MinimizeOutcome::minimized;
  const std::uint64_t id = windows_[position->second].id;
  if (pending_.contains(id))
    return MinimizeOutcome::pending;
  return askable(id) ? MinimizeOutcome::unasked : MinimizeOutcome::kept;
}

std::int64_t DesktopModel::keptWindowCount() {
  expire();
  if (kept_.empty())
    return 0;
  return std::count_if(windows_.begin(), windows_.end(), [this](const DesktopWindow& window) {
    return kept_.contains(window.id) && listed(window);
  });
}

// A number given up with its window is not given again for four billion windows: one not found
// here is gone.
bool DesktopModel::restoreWindows(const std::vector<std::uint32_t>& numbers) {
  if (!ready())
    return false;
  std::unordered_map<std::uint32_t, const DesktopWindow*> byNumber;
  for (const DesktopWindow& window : windows_)
    byNumber.emplace(numbers_.at(window.id), &window);
  std::vector<std::uint64_t> ids;
  for (const std::uint32_t number : numbers) {
    const auto found = byNumber.find(number);
    if (found != byNumber.end() && found->second->minimized && managed(*found->second))
      ids.push_back(found->second->id);
  }
  if (ids.empty())
    return true;
  return transport_.restore(ids) == Transport::Answer::taken;
}

}  // namespace dozewick
