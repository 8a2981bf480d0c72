// The desktop as the window rules need it: a listing, hiding and minimizing, the frontmost.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace dozewick {

// A value of one window-list entry, as loosely typed as the platform hands it over: it may be
// missing (monostate) or of a type the rules do not accept.
using EntryValue = std::variant<std::monostate, bool, std::int64_t, double, std::string>;

// One on-screen window as the platform lists it.
struct WindowEntry {
  EntryValue layer;      // 0 for ordinary application windows
  EntryValue number;     // the window's id
  EntryValue ownerPID;   // the owning process
  EntryValue ownerName;  // the owning application's name
  EntryValue name;       // the window's title

  friend bool operator==(const WindowEntry&, const WindowEntry&) = default;
};

// A listing is shared, not copied: a platform that keeps one hands out the same listing until the
// desktop changes, so a check costs nothing for the windows that stayed as they were.
using WindowEntries = std::shared_ptr<const std::vector<WindowEntry>>;

// The listing to hand out: `last` when `fresh` lists the same, so that its holders see no change.
inline WindowEntries unlessUnchanged(const WindowEntries& last, std::vector<WindowEntry> fresh) {
  if (last && *last == fresh)
    return last;
  return std::make_shared<const std::vector<WindowEntry>>(std::move(fresh));
}

// One window of an application, as the per-application path sees it.
struct AccessibleWindow {
  std::uint64_t handle = 0;          // the platform's reference, for setMinimized
  std::optional<std::string> title;  // absent when it cannot be read
  std::optional<bool> minimized;     // absent when it cannot be read
};

// What became of a request to minimize a listed window.
enum class MinimizeOutcome {
  minimized,  // the desktop put it away, or it is gone
  pending,    // asked, and the desktop has not answered yet
  kept,       // the desktop kept it on screen: asking again now would be in vain
  unasked,    // not asked, or kept long enough ago to be asked again
};

// The desktop, as the window rules need it.
class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // The windows on screen now, topmost first, without the desktop's own elements; null when the
  // list cannot be had.
  virtual WindowEntries onScreenWindowEntries() = 0;

  // Hides every window of the running application with this process id. False when no such
  // application runs.
  virtual bool hideApplication(std::int32_t pid) = 0;

  // The windows of the application with this process id, in the platform's order; nullopt when
  // they cannot be read.
  virtual std::optional<std::vector<AccessibleWindow>> applicationWindows(std::int32_t pid) = 0;

  // Minimizes one window of applicationWindows(); true when the platform reports success.
  virtual bool setMinimized(const AccessibleWindow& window) = 0;

  // The process id of the frontmost application; nullopt when there is none.
  virtual std::optional<std::int32_t> frontmostApplicationPID() = 0;

  // Whether the window listed under this number went, after hideApplication or setMinimized said
  // it was asked to. A desktop that answers at once has put it away already. Never waits.
  virtual MinimizeOutcome minimizeOutcome(std::uint32_t number) {
    (void)number;
    return MinimizeOutcome::minimized;
  }
  // How many listed windows the desktop kept on screen when asked to put them away.
  virtual std::int64_t keptWindowCount() { return 0; }

  // Puts back on screen the minimized windows listed earlier under these numbers, in this order;
  // gone or already shown ones are passed over. False when the desktop cannot do it.
  virtual bool restoreWindows(const std::vector<std::uint32_t>& numbers) {
    (void)numbers;
    return false;
  }
};

}  // namespace dozewick
