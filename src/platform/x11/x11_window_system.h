#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/window_system.h"
#include "platform/x11/xcb_connection.h"

namespace dozewick {

// The desktop of an X11 session with an EWMH window manager. Connects at first use, and again
// after the server was lost; nothing it keeps depends on the window manager, so a restarted
// window manager is simply seen at the next call.
//
// The windows of the process `ownPid` (the program itself) are never listed or hidden, and never
// make that process frontmost: while one of them is active, the frontmost application is the one
// whose window the window manager last raised, the topmost application window of another process.
class X11WindowSystem final : public WindowSystem {
 public:
  // No check asks about more windows than this, however many the window manager lists.
  static constexpr std::size_t kMaxWatchedWindows = 1024;

  // An empty display name means $DISPLAY. No call waits longer than `replyTimeout` for the
  // server's answers. An `ownPid` of 0 means no process is the program's own.
  explicit X11WindowSystem(
      std::string displayName = {},
      std::chrono::milliseconds replyTimeout = xcb::Connection::kDefaultReplyTimeout,
      std::int32_t ownPid = 0);
  ~X11WindowSystem() override;

  std::optional<std::vector<WindowEntry>> onScreenWindowEntries() override;
  bool hideApplication(std::int32_t pid) override;
  std::optional<std::vector<AccessibleWindow>> applicationWindows(std::int32_t pid) override;
  bool setMinimized(const AccessibleWindow& window) override;
  std::optional<std::int32_t> frontmostApplicationPID() override;

  // Round trips made on the present connection (0 when there is none); for measurements.
  std::uint64_t roundTrips() const;

 private:
  xcb::Connection* connection();
  template <typename Result, typename Operation>
  Result attempt(Result failed, Operation operation);

  struct KnownWindows;

  std::optional<std::vector<std::uint32_t>> watchedWindows(xcb::Connection& connection);

  std::string displayName_;
  std::chrono::milliseconds replyTimeout_;
  std::int32_t ownPid_;
  bool warnedAboutTooManyWindows_ = false;
  std::unique_ptr<xcb::Connection> connection_;
  std::unique_ptr<KnownWindows> known_;  // what listings learnt of each window that stays
};

}  // namespace dozewick
