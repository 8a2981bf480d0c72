#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/window_system.h"
#include "platform/x11/xcb_connection.h"

namespace dozewick {

// The desktop of an X11 session with an EWMH window manager. Connects at first use, and again
// after the server was lost.
//
// It keeps a model of the windows, learnt by one full listing and kept up to date by the events
// the X server sends about them: a call re-reads only what an event said has changed, and makes
// no request at all when nothing has. A new connection, a replaced or vanished window manager, or
// more events than one call should replay, each lead to one full listing again.
//
// The windows of the process `ownPid` (the program itself) are never listed or hidden, and never
// make that process frontmost: while one of them is active, the frontmost application is the one
// whose window the window manager last raised, the topmost application window of another process.
//
// trusted() may be called from another thread than the rest.
class X11WindowSystem final : public WindowSystem {
 public:
  // No check asks about more windows than this, however many the window manager lists.
  static constexpr std::size_t kMaxWatchedWindows = 1024;
  // Events taken in one call at most; beyond that, one full listing costs less than the rest.
  static constexpr std::size_t kMaxEventsPerCall = 4 * kMaxWatchedWindows;

  // An empty display name means $DISPLAY. No call waits longer than `replyTimeout` for the
  // server's answers. An `ownPid` of 0 means no process is the program's own.
  explicit X11WindowSystem(
      std::string displayName = {},
      std::chrono::milliseconds replyTimeout = xcb::Connection::kDefaultReplyTimeout,
      std::int32_t ownPid = 0, std::size_t maxEventsPerCall = kMaxEventsPerCall);
  ~X11WindowSystem() override;

  WindowEntries onScreenWindowEntries() override;
  bool hideApplication(std::int32_t pid) override;
  std::optional<std::vector<AccessibleWindow>> applicationWindows(std::int32_t pid) override;
  bool setMinimized(const AccessibleWindow& window) override;
  std::optional<std::int32_t> frontmostApplicationPID() override;

  // Whether an EWMH window manager runs on the display, as its events tell. False in a Wayland
  // session, whose windows the X server does not see.
  bool trusted();

  // Brings the model up to date, as every call does first; for measurements.
  bool update();

  // Round trips and requests made on the present connection (0 when there is none), and the full
  // listings made since construction; for measurements and tests.
  std::uint64_t roundTrips() const;
  std::uint64_t requests() const;
  std::uint64_t fullListings() const;

 private:
  struct Model;

  xcb::Connection* connection();
  template <typename Result, typename Operation>
  Result attempt(Result failed, Operation operation);
  void handleEvents(xcb::Connection& connection);
  void refresh(xcb::Connection& connection);
  void derive(xcb::Connection& connection);
  using PropertyRequest = std::optional<xcb::Pending<xcb_get_property_reply_t>>;
  std::optional<std::vector<std::uint32_t>> watchedWindows(xcb::Connection& connection,
                                                           PropertyRequest& stackingRequest,
                                                           PropertyRequest& clientsRequest);

  std::string displayName_;
  std::chrono::milliseconds replyTimeout_;
  std::int32_t ownPid_;
  std::size_t maxEventsPerCall_;
  bool warnedAboutTooManyWindows_ = false;
  mutable std::mutex mutex_;
  std::unique_ptr<xcb::Connection> connection_;
  std::unique_ptr<Model> model_;
};

}  // namespace dozewick
