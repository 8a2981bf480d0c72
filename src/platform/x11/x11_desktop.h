// The X11 backend's transport: the X server's windows, learnt from its events, for the model.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop_model.h"
#include "platform/x11/xcb_connection.h"

namespace dozewick {

// The windows of an X11 session with an EWMH window manager. Connects at first use, and again
// after the server was lost.
//
// It learns the windows by one full listing and keeps them up to date from the events the X
// server sends about them: a call re-reads only what an event said has changed, and makes no
// request at all when nothing has. A new connection, a replaced or vanished window manager, or
// more events than one call should replay, each lead to one full listing again. What changed is
// reported to the desktop model, topmost window first.
class X11Desktop final : public DesktopModel::Transport {
 public:
  // Events taken in one call at most; beyond that, one full listing costs less than the rest.
  static constexpr std::size_t kMaxEventsPerCall = 4 * DesktopModel::kMaxWindows;

  // An empty display name means $DISPLAY. No call waits longer than `replyTimeout` for the
  // server's answers. The windows of `ownPid` (0: none) are Dozewick's.
  explicit X11Desktop(
      std::string displayName = {},
      std::chrono::milliseconds replyTimeout = xcb::Connection::kDefaultReplyTimeout,
      std::int32_t ownPid = 0, std::ostream& diagnostics = std::cerr,
      std::size_t maxEventsPerCall = kMaxEventsPerCall);
  ~X11Desktop() override;

  DesktopModel& model() { return model_; }

  // Whether an EWMH window manager runs on the display, as its events tell.
  bool windowManagerRuns();

  bool refresh() override;
  Answer minimize(const std::vector<std::uint64_t>& ids) override;
  Answer restore(const std::vector<std::uint64_t>& ids) override;

  // Round trips and requests made on the present connection (0 when there is none), and the full
  // listings made since construction; for measurements and tests.
  std::uint64_t roundTrips() const;
  std::uint64_t requests() const;
  std::uint64_t fullListings() const;

 private:
  struct Windows;
  struct RootRequests;

  xcb::Connection* connection();
  template <typename Result, typename Operation>
  Result attempt(Result failed, Operation operation);
  // Makes the request of each listed window that still exists.
  template <class Request>
  Answer ask(const std::vector<std::uint64_t>& ids, Request request);
  void handleEvents(xcb::Connection& connection);
  bool handleEvent(xcb::Connection& connection, const xcb_generic_event_t& event);
  void readChanges(xcb::Connection& connection);
  xcb_window_t readRoot(xcb::Connection& connection, RootRequests& requests);
  void follow(xcb::Connection& connection, bool full, xcb_window_t check, bool activeChanged,
              bool listsChanged);
  std::optional<std::vector<std::uint32_t>> readList(
      xcb::Connection& connection, std::optional<xcb::Pending<xcb_get_property_reply_t>>& request,
      std::uint32_t property, bool& cut);
  std::optional<std::vector<std::uint32_t>> watchedWindows(xcb::Connection& connection,
                                                           RootRequests& requests);
  void feed(xcb::Connection& connection);

  std::string displayName_;
  std::chrono::milliseconds replyTimeout_;
  std::size_t maxEventsPerCall_;
  std::unique_ptr<xcb::Connection> connection_;
  std::unique_ptr<Windows> windows_;
  DesktopModel model_;
};

}  // namespace dozewick
