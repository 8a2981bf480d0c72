#include "platform/x11/x11_trust.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "platform/x11/xcb_connection.h"
#include "platform/x11/xcb_property.h"

namespace dozewick {

namespace {

bool isWaylandSession() {
  const char* session = std::getenv("XDG_SESSION_TYPE");
  return session != nullptr && ::strcasecmp(session, "wayland") == 0;
}

// The query runs every few seconds, and opening a connection (handshake, atoms, extension
// query) costs far more than asking; so each display's connection is kept, and opened anew only
// once the server has broken it.
struct KeptConnections {
  std::mutex mutex;
  std::map<std::string, std::unique_ptr<xcb::Connection>> byDisplay;
};

KeptConnections& keptConnections() {
  // Never destroyed: a background query may still be running while the process exits.
  static auto* kept = new KeptConnections();
  return *kept;
}

bool askWindowManager(xcb::Connection* connection) {
  const xcb::Atoms& atoms = connection->atoms();
  xcb_connection_t* c = connection->get();
  if (!connection->beginOperation()) {
    return false;
  }
  auto property = [&](xcb_window_t window, xcb_atom_t name, std::uint32_t longs) {
    return connection->pending<xcb_get_property_reply_t>(
        xcb_get_property(c, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, longs).sequence);
  };
  auto checkRequest = property(connection->root(), atoms.netSupportingWmCheck, 1);
  auto supportedRequest = property(connection->root(), atoms.netSupported, 4096);

  const auto checkReply = checkRequest.get();
  const auto check =
      xcb::firstCard32(xcb::propertyValue(xcb::replyBytes(checkReply)), XCB_ATOM_WINDOW);
  const auto supportedReply = supportedRequest.get();
  const auto supported =
      xcb::card32List(xcb::propertyValue(xcb::replyBytes(supportedReply)), XCB_ATOM_ATOM);
  if (!check || *check == XCB_NONE || !supported) {
    return false;
  }
  const auto has = [&](std::uint32_t atom) {
    return std::find(supported->begin(), supported->end(), atom) != supported->end();
  };
  if (!has(atoms.netClientListStacking) || !has(atoms.netActiveWindow)) {
    return false;
  }
  // A window manager that died leaves the root property behind; the window it names is gone then.
  auto selfRequest = property(*check, atoms.netSupportingWmCheck, 1);
  const auto selfReply = selfRequest.get();
  const auto self =
      xcb::firstCard32(xcb::propertyValue(xcb::replyBytes(selfReply)), XCB_ATOM_WINDOW);
  return self == check && !connection->timedOut() && !connection->isBroken();
}

}  // namespace

bool queryX11Trust() {
  return queryX11TrustOn({});
}

bool queryX11TrustOn(const std::string& displayName) {
  if (isWaylandSession()) {
    return false;
  }
  KeptConnections& kept = keptConnections();
  const std::lock_guard lock(kept.mutex);
  auto& connection = kept.byDisplay[displayName];
  if (connection && connection->isBroken()) {
    connection.reset();
  }
  if (!connection) {
    connection = xcb::Connection::open(displayName);
  }
  return connection && askWindowManager(connection.get());
}

}  // namespace dozewick
