// The desktop as every backend reports it, and the rules for what Dozewick lists and touches.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/clock.h"
#include "core/window_system.h"

namespace dozewick {

// What a window is to its desktop.
enum class WindowType {
  ordinary,  // an application's own: normal, dialog, or no type given
  other,     // the desktop's or a helper's: desktop, dock, panel, menu, tooltip, utility, …
  unknown,   // a type the desktop names that Dozewick does not know
};

// One window as its desktop reports it.
struct DesktopWindow {
  std::uint64_t id = 0;  // the desktop's own id, for the requests made of it
  std::int32_t pid = 0;  // the owning process; 0 when the desktop names none
  // False when the window merely claims its process, as a client of another host does.
  bool processRunsHere = true;
  std::optional<std::string> application;  // absent when the desktop cannot name it
  std::optional<std::string> title;
  WindowType type = WindowType::ordinary;
  bool minimized = false;  // iconified, or hidden by the desktop in another way
  bool onCurrentDesktop = true;
  bool skipsTaskbar = false;

  friend bool operator==(const DesktopWindow&, const DesktopWindow&) = default;
};

// Dozewick's window system on every desktop: a backend reports the desktop's windows, and the model
// answers the loop's questions from the last report, by these rules:
// - Dozewick's own windows are never listed, hidden, minimized or offered one by one, and while
//   one of them is active the application the user was in stays frontmost: where the desktop
//   reports its windows topmost first, the application of the topmost listed window; elsewhere
//   the application whose window the desktop last reported active (a dock or tray, or no active
//   window, on the way does not count).
// - Listed are the windows of a process, of an ordinary type (an unknown type is left alone: it
//   may be the desktop's own), in the task bar (what skips it could not be brought back), on the
//   current desktop and not minimized.
// - Hiding an application minimizes only its listed windows, never its docks, panels or utility
//   windows; an application runs when one of its windows names a process that runs here.
// - What Dozewick asked the desktop to minimize counts as minimized once the desktop reports it
//   so. Without that within kAnswerTime the window is kept: it is not asked again until its
//   application has been active again or a back-off has passed (kFirstBackOff, doubling up to
//   kLastBackOff), so a window manager that refuses costs no request a second.
// - The same listing is handed out again as long as nothing listed changed.
// - Only minimized windows of the kinds listed are restored; one gone is passed over.
// - At most kMaxWindows windows of a report are taken, the first in the desktop's order.
// - Each window keeps one 32-bit number for as long as it lives, whatever the desktop's ids.
class DesktopModel final : public WindowSystem {
 public:
  // What the model needs of its backend.
  class Transport {
   public:
    enum class Answer {
      taken,     // the desktop took the request
      refused,   // it did not, or could not be reached
      outdated,  // it had nothing to do: the model's last report is out of date
    };
    virtual ~Transport() = default;
    // Brings the model up to date, reporting what changed since; false while the desktop cannot
    // be reached.
    virtual bool refresh() = 0;
    // Asks the desktop to minimize these windows (by their ids).
    virtual Answer minimize(const std::vector<std::uint64_t>& ids) = 0;
    // Asks the desktop to show these minimized windows again, in this order.
    virtual Answer restore(const std::vector<std::uint64_t>& ids) {
      (void)ids;
      return Answer::refused;
    }
  };

  static constexpr std::size_t kMaxWindows = 1024;
  // Seconds: how long the desktop has to put a window away, and how long a kept one is left be.
  static constexpr double kAnswerTime = 2.0;
  static constexpr double kFirstBackOff = 60.0;
  static constexpr double kLastBackOff = 960.0;

  // The order of a report: the stacking order, or one that says nothing.
  enum class Order { topmostFirst, unordered };

  // `ownPid` is Dozewick's own process (0: none); the one warning goes to `diagnostics`. Waits
  // for answers by `clock`, a steady one of the model's own when none is given.
  DesktopModel(Transport& transport, std::int32_t ownPid, std::ostream& diagnostics,
               Order order = Order::unordered, const Clock* clock = nullptr);

  // Every window the desktop manages, in its order, and the process of the active window.
  // Replaces all that was known.
  void report(std::vector<DesktopWindow> windows, std::optional<std::int32_t> activePid);
  // The desktop's windows are not known (not yet read, or lost).
  void forget();
  // Says once that the desktop lists more windows than are watched.
  void noteTooManyWindows(std::size_t listed);

  bool known() const { return known_; }
  // The desktop kept every window it was asked to put away, at least one: it does not iconify.
  bool keepsEveryWindow() const { return keptEver_ && !confirmedEver_; }
  // The windows as last reported; for the backends' tests.
  const std::vector<DesktopWindow>& windows() const { return windows_; }
  std::optional<std::uint32_t> numberOf(std::uint64_t id) const;

  WindowEntries onScreenWindowEntries() override;
  bool hideApplication(std::int32_t pid) override;
  std::optional<std::vector<AccessibleWindow>> applicationWindows(std::int32_t pid) override;
  bool setMinimized(const AccessibleWindow& window) override;
  std::optional<std::int32_t> frontmostApplicationPID() override;
  MinimizeOutcome minimizeOutcome(std::uint32_t number) override;
  std::int64_t keptWindowCount() override;
  bool restoreWindows(const std::vector<std::uint32_t>& numbers) override;

 private:
  bool managed(const DesktopWindow& window) const;
  bool listed(const DesktopWindow& window) const;
  bool runs(std::int32_t pid) const;
  std::optional<std::int32_t> topmostApplication() const;
  std::uint32_t newNumber();
  bool ready();
  // Sends the requests for the windows not asked already, or kept and due again.
  Transport::Answer ask(const std::vector<std::uint64_t>& ids);
  bool askable(std::uint64_t id) const;
  void settle(const std::vector<DesktopWindow>& reported, std::optional<std::int32_t> activePid);

  void expire();

  struct Asked {
    double answerBy = 0;
    double backOff = 0;  // how long it is left be if kept
  };
  struct Kept {
    double retryAt = 0;
    double backOff = 0;
  };

  Transport& transport_;
  std::int32_t ownPid_;
  std::ostream& diagnostics_;
  Order order_;
  bool warned_ = false;

  bool known_ = false;
  std::vector<DesktopWindow> windows_;
  std::optional<std::int32_t> frontmost_;
  std::optional<std::int32_t> lastApplication_;  // whose window, of a kind listed, was active last
  std::unique_ptr<Clock> ownClock_;
  const Clock& clock_;
  std::unordered_map<std::uint64_t, Asked> pending_;
  std::unordered_map<std::uint64_t, Kept> kept_;
  bool keptEver_ = false;
  bool confirmedEver_ = false;
  std::unordered_map<std::uint64_t, std::uint32_t> numbers_;
  // Where each number's window stands in windows_, built when first asked for after a report.
  std::unordered_map<std::uint32_t, std::size_t> positions_;
  std::uint32_t nextNumber_ = 1;
  bool numbersWrapped_ = false;
  bool listingStale_ = true;
  WindowEntries listed_;
};

}  // namespace dozewick
