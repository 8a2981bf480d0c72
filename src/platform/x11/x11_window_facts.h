// What the X11 backend knows of one client window, and how it reads that from the X server.
#pragma once

#include <xcb/res.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop_model.h"
#include "platform/x11/xcb_connection.h"
#include "platform/x11/xcb_property.h"
#include "platform/xres/client_process.h"

namespace dozewick::x11 {

using PropertyRequest = std::optional<xcb::Pending<xcb_get_property_reply_t>>;

// What to read of a window.
enum Need : unsigned {
  kType = 1u << 0,
  kState = 1u << 1,
  kDesktop = 1u << 2,
  kPid = 1u << 3,
  kClass = 1u << 4,
  kTitle = 1u << 5,
  kWmState = 1u << 6,
  kAttributes = 1u << 7,
  kEverything = (1u << 8) - 1,
};

// What is known of one client window.
struct WindowFacts {
  bool exists = false;
  bool viewable = false;
  std::optional<std::vector<std::uint32_t>> types;
  std::optional<std::vector<std::uint32_t>> states;
  std::optional<std::uint32_t> desktop;
  std::optional<std::int32_t> localPid;  // from the X server: a local client's process
  std::optional<std::int32_t> netPid;    // as the client claims it
  std::optional<std::string> className;
  std::optional<std::string> ownerName;  // the class, or else the local process's name
  std::optional<std::string> title;
  std::optional<bool> iconic;

  std::optional<std::int32_t> pid() const { return localPid ? localPid : netPid; }
};

struct WindowRequests {
  xcb_window_t window = XCB_NONE;
  unsigned need = 0;
  std::optional<xcb::Pending<xcb_get_window_attributes_reply_t>> attributes;
  std::optional<xcb::Pending<xcb_res_query_client_ids_reply_t>> clientIds;
  PropertyRequest type, state, desktop, netPid, wmClass, netName, wmName, wmState;
};

PropertyRequest requestProperty(xcb::Connection& connection, xcb_window_t window,
                                xcb_atom_t property, std::uint32_t longs, std::uint32_t offset = 0);

// The decoded value of a property request; empty when it has none.
template <typename Decode>
auto readProperty(PropertyRequest& request, Decode decode)
    -> decltype(decode(xcb::PropertyValue{})) {
  if (!request) {
    return {};
  }
  const auto reply = request->get();
  if (!reply) {
    return {};
  }
  return decode(xcb::propertyValue(xcb::replyBytes(reply)));
}

// Sends the requests for what `need` says of one window; its replies are read by applyReplies,
// after the requests for every other window have gone out too.
WindowRequests requestWindow(xcb::Connection& connection, xcb_window_t window, unsigned need);
// Replaces what the requests asked about; the rest of the facts stays as it was.
void applyReplies(xcb::Connection& connection, WindowRequests& r, WindowFacts& f);

// What to read again after a property of a client window changed.
unsigned needAfterChangeOf(xcb_atom_t property, const xcb::Atoms& atoms);

bool contains(const std::optional<std::vector<std::uint32_t>>& list, std::uint32_t value);

// The window as the desktop model takes it; nullopt for a window that is gone. Without
// X-Resource (`serverNamesClients` false) a window's claim to a process is all there is, and
// holds when such a process runs here.
std::optional<DesktopWindow> describe(xcb_window_t window, const WindowFacts& f,
                                      const xcb::Atoms& atoms,
                                      std::optional<std::uint32_t> currentDesktop,
                                      bool serverNamesClients);

// ICCCM: a client asks for iconic state with WM_CHANGE_STATE, sent to the root window.
void requestIconify(xcb::Connection& connection, xcb_window_t window);
// Shows an iconic window again: mapped (ICCCM) and activated as a pager would (EWMH), which a
// window manager that keeps the frame mapped needs.
void requestShow(xcb::Connection& connection, xcb_window_t window);

}  // namespace dozewick::x11
