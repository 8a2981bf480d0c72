// What a desktop gives Dozewick: the one interface every backend implements (read this first).
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "core/localizer.h"
#include "core/window_system.h"

namespace dozewick {

// Whether Dozewick can manage the desktop's windows now, and if not, why.
enum class Readiness {
  ready,
  notAnswering,    // the desktop's side is missing or silent (no EWMH window manager, a script
                   // or extension that does not answer)
  needsAuthorize,  // Dozewick's part of the desktop is missing or out of date: Authorize
  unsupported,     // this session's windows cannot be reached at all
  pending,         // Dozewick's part is being set up and cannot tell yet; known within seconds
  keepsWindows,    // the window manager kept every window it was asked to put away: it does not
                   // iconify (a tiling one, say)
};

// What Authorize did.
struct AuthorizeOutcome {
  bool ok = true;       // false when no grant can come of it, so there is nothing to wait for
  std::string message;  // for the user, in the interface language; empty: nothing to tell
  // The grant comes only after the user logs out and in again: no use waiting for it now.
  bool needsNewLogin = false;
};

// How Dozewick's own windows (the panel, its dialogs) behave towards the window manager. Where
// they cannot say it, nothing happens.
class OwnWindows {
 public:
  virtual ~OwnWindows() = default;
  // Task bars and pagers leave the window out. Called while it is being shown, before it is
  // mapped: a window manager forgets the state of a hidden window.
  virtual void keepOutOfTaskbars(std::uintptr_t nativeWindow) { (void)nativeWindow; }
  // The window the window manager has active, if it says.
  virtual std::optional<std::uint32_t> activeWindow() { return std::nullopt; }
  // Asks the window manager to make a window active again, as a task bar does on a click; false
  // when it cannot be asked.
  virtual bool requestActivation(std::uint32_t window) {
    (void)window;
    return false;
  }
  // A later launch's startup notification (DESKTOP_STARTUP_ID) ends with the shown window: the
  // window manager stops the launch feedback and lets the window come to the front.
  virtual void completeLaunch(std::uintptr_t nativeWindow, const std::string& startupId) {
    (void)nativeWindow;
    (void)startupId;
  }
};

// Dozewick's icon, drawn by the desktop's shell itself where there is no tray.
class ShellIcon {
 public:
  enum class State { needsPermission, ready, running };
  virtual ~ShellIcon() = default;
  // Whether the shell draws it now.
  virtual bool shown() const = 0;
  virtual void show(State state) = 0;
};

// Where the shell draws Dozewick's icon only once Dozewick's part is installed into it, while the
// windows are reached another way (GNOME Shell on X11): that icon, and installing that part.
class ShellIconOffer {
 public:
  virtual ~ShellIconOffer() = default;
  // The icon, whose clicks run `clicked`; shown once Dozewick's part in the shell answers.
  virtual std::unique_ptr<ShellIcon> shellIcon(std::function<void()> clicked) = 0;
  // Puts Dozewick's part in place; the message says what came of it and what the user does next.
  virtual AuthorizeOutcome install() = 0;
};

// What every backend is built with.
struct BackendContext {
  std::int32_t ownPid = 0;           // Dozewick's process: its windows are never managed
  const Localizer* texts = nullptr;  // for what a backend tells the user itself
  std::ostream* diagnostics = nullptr;
  // Shows the help page in a window of Dozewick's own; unset: the desktop's handler opens it.
  std::function<void()> showHelp{};
};

// One desktop: its windows, whether they can be managed, Authorize, and the extras some desktops
// have. Every call is made on the main thread; none waits for the desktop longer than a reply.
class Backend {
 public:
  Backend() = default;
  explicit Backend(const BackendContext& context) : showHelp_(context.showHelp) {}
  virtual ~Backend() = default;

  // The windows, as the loop lists and minimizes them.
  virtual WindowSystem& windowSystem() = 0;
  // Answered from what the backend already holds.
  virtual Readiness readiness() = 0;
  bool canManageWindows() { return readiness() == Readiness::ready; }

  // Follows the desktop from the program's start to its quit.
  virtual void start() {}
  virtual void stop() {}

  // The step that lets Dozewick manage windows, where the desktop needs one of Dozewick's.
  virtual AuthorizeOutcome authorize() { return {}; }
  // Shows the user what Dozewick needs here: the help page.
  virtual void showHelp();
  // The text key of one line saying what this desktop needs, for the permission sheet's small
  // print; empty where there is nothing better to show than the program's path.
  virtual std::string requirementKey() { return {}; }

  // Reports every mouse press anywhere on the desktop until the token is dropped; null where the
  // desktop does not tell.
  virtual std::shared_ptr<void> watchClicks(std::function<void()> onMouseDown);
  // Dozewick's icon in the desktop's shell, whose clicks run `clicked`; null where there is none.
  // The default is the offer's icon, where there is one.
  virtual std::unique_ptr<ShellIcon> shellIcon(std::function<void()> clicked);
  virtual OwnWindows& ownWindows() { return noOwnWindows_; }

  // The shell's icon that must be installed first; null where there is none.
  ShellIconOffer* shellIconOffer() const { return shellIconOffer_.get(); }
  void setShellIconOffer(std::unique_ptr<ShellIconOffer> offer) {
    shellIconOffer_ = std::move(offer);
  }

 private:
  OwnWindows noOwnWindows_;
  std::unique_ptr<ShellIconOffer> shellIconOffer_;
  std::function<void()> showHelp_;
};

}  // namespace dozewick
