// What the X11 backend knows of one client window, and how it reads that from the X server.
#include "platform/x11/x11_window_facts.h"

#include <signal.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace dozewick::x11 {

namespace {

using xcb::Connection;

constexpr std::uint32_t kTitleLongs = 4096;  // 16 KiB of title
constexpr std::uint32_t kClassLongs = 256;
constexpr std::uint32_t kAtomListLongs = 64;
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
constexpr std::uint32_t kMaxPid = 0x7FFFFFFF;

std::optional<std::int32_t> asPid(std::optional<std::uint32_t> value) {
  if (!value || *value == 0 || *value > kMaxPid) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(*value);
}

std::optional<std::string> processName(std::int32_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  if (!file || !std::getline(file, name) || name.empty()) {
    return std::nullopt;
  }
  return xcb::utf8Lossy(name);
}

bool processRuns(std::int32_t pid) {
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

PropertyRequest requestProperty(Connection& connection, xcb_window_t window, xcb_atom_t property,
                                std::uint32_t longs, std::uint32_t offset) {
  const auto cookie = xcb_get_property(connection.get(), 0, window, property,
                                       XCB_GET_PROPERTY_TYPE_ANY, offset, longs);
  return connection.pending<xcb_get_property_reply_t>(cookie.sequence);
}

WindowRequests requestWindow(Connection& connection, xcb_window_t window, unsigned need) {
  const xcb::Atoms& atoms = connection.atoms();
  xcb_connection_t* c = connection.get();
  WindowRequests r;
  r.window = window;
  r.need = need;
  if (need & kAttributes) {
    r.attributes.emplace(connection.pending<xcb_get_window_attributes_reply_t>(
        xcb_get_window_attributes(c, window).sequence));
  }
  if (need & kType) {
    r.type = requestProperty(connection, window, atoms.netWmWindowType, kAtomListLongs);
  }
  if (need & kState) {
    r.state = requestProperty(connection, window, atoms.netWmState, kAtomListLongs);
  }
  if (need & kDesktop) {
    r.desktop = requestProperty(connection, window, atoms.netWmDesktop, 1);
  }
  if (need & kPid) {
    r.netPid = requestProperty(connection, window, atoms.netWmPid, 1);
    if (connection.hasResourceExtension()) {
      r.clientIds.emplace(connection.pending<xcb_res_query_client_ids_reply_t>(
          xres::requestLocalClientPid(c, window)));
    }
  }
  if (need & kClass) {
    r.wmClass = requestProperty(connection, window, XCB_ATOM_WM_CLASS, kClassLongs);
  }
  if (need & kTitle) {
    r.netName = requestProperty(connection, window, atoms.netWmName, kTitleLongs);
    r.wmName = requestProperty(connection, window, XCB_ATOM_WM_NAME, kTitleLongs);
  }
  if (need & kWmState) {
    r.wmState = requestProperty(connection, window, atoms.wmState, 2);
  }
  return r;
}

void applyReplies(Connection& connection, WindowRequests& r, WindowFacts& f) {
  const xcb::Atoms& atoms = connection.atoms();
  if (r.need & kAttributes) {
    const auto attributes = r.attributes->get();
    f.exists = attributes != nullptr;
    f.viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
  }
  if (r.need & kType) {
    f.types = readProperty(
        r.type, [&](const xcb::PropertyValue& v) { return xcb::card32List(v, XCB_ATOM_ATOM); });
  }
  if (r.need & kState) {
    f.states = readProperty(
        r.state, [&](const xcb::PropertyValue& v) { return xcb::card32List(v, XCB_ATOM_ATOM); });
  }
  if (r.need & kDesktop) {
    f.desktop = readProperty(r.desktop, [&](const xcb::PropertyValue& v) {
      return xcb::firstCard32(v, XCB_ATOM_CARDINAL);
    });
  }
  if (r.need & kPid) {
    f.netPid = asPid(readProperty(r.netPid, [&](const xcb::PropertyValue& v) {
      return xcb::firstCard32(v, XCB_ATOM_CARDINAL);
    }));
    f.localPid.reset();
    if (r.clientIds) {
      if (const auto reply = r.clientIds->get()) {
        f.localPid = xres::localClientPid(xcb::replyBytes(reply));
      }
    }
  }
  if (r.need & kClass) {
    f.className = readProperty(
        r.wmClass, [&](const xcb::PropertyValue& v) { return xcb::wmClassName(v, atoms); });
  }
  if (r.need & (kPid | kClass)) {
    f.ownerName = f.className;
    const auto pid = f.pid();
    // Only a process known to run here may be named after its local process.
    if (!f.ownerName && pid && (f.localPid || !connection.hasResourceExtension())) {
      f.ownerName = processName(*pid);
    }
  }
  if (r.need & kTitle) {
    f.title = readProperty(r.netName,
                           [&](const xcb::PropertyValue& v) { return xcb::textValue(v, atoms); });
    auto wmName = readProperty(
        r.wmName, [&](const xcb::PropertyValue& v) { return xcb::textValue(v, atoms); });
    if (!f.title) {
      f.title = std::move(wmName);
    }
  }
  if (r.need & kWmState) {
    f.iconic = readProperty(
        r.wmState, [&](const xcb::PropertyValue& v) { return xcb::wmStateIconic(v, atoms); });
  }
}

// What to read again after a property of a client window changed. Its viewability is read with
// it: a window manager that iconifies a window, or moves it to another desktop, may unmap only
// its frame, which sends the client itself no event.
unsigned needAfterChangeOf(xcb_atom_t property, const xcb::Atoms& atoms) {
  unsigned need = 0;
  if (property == atoms.netWmWindowType) {
    need = kType;
  } else if (property == atoms.netWmState) {
    need = kState;
  } else if (property == atoms.netWmDesktop) {
    need = kDesktop;
  } else if (property == atoms.netWmPid) {
    need = kPid;
  } else if (property == XCB_ATOM_WM_CLASS) {
    need = kClass;
  } else if (property == atoms.netWmName || property == XCB_ATOM_WM_NAME) {
    need = kTitle;
  } else if (property == atoms.wmState) {
    need = kWmState;
  }
  return need == 0 ? 0 : need | kAttributes;
}

bool contains(const std::optional<std::vector<std::uint32_t>>& list, std::uint32_t value) {
  return list && std::find(list->begin(), list->end(), value) != list->end();
}

std::optional<DesktopWindow> describe(xcb_window_t window, const WindowFacts& f,
                                      const xcb::Atoms& atoms,
                                      std::optional<std::uint32_t> currentDesktop,
                                      bool serverNamesClients) {
  if (!f.exists) {
    return std::nullopt;
  }
  DesktopWindow d;
  d.id = window;
  d.pid = f.pid().value_or(0);
  d.processRunsHere = serverNamesClients ? f.localPid.has_value() : d.pid > 0 && processRuns(d.pid);
  d.application = f.ownerName;
  d.title = f.title;
  d.type = xcb::windowType(f.types, atoms);
  // A window manager may also hide a window by unmapping it (or its frame) alone.
  d.minimized =
      !f.viewable || contains(f.states, atoms.netWmStateHidden) || f.iconic.value_or(false);
  d.onCurrentDesktop =
      !f.desktop || !currentDesktop || *f.desktop == kAllDesktops || *f.desktop == *currentDesktop;
  d.skipsTaskbar = contains(f.states, atoms.netWmStateSkipTaskbar);
  return d;
}

void requestIconify(Connection& connection, xcb_window_t window) {
  xcb_client_message_event_t event;
  static_assert(sizeof event == 32);
  std::memset(&event, 0, sizeof event);
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = connection.atoms().wmChangeState;
  event.data.data32[0] = XCB_ICCCM_WM_STATE_ICONIC;
  const auto cookie =
      xcb_send_event(connection.get(), 0, connection.root(),
                     XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                     reinterpret_cast<const char*>(&event));
  connection.noteRequest(cookie.sequence);
}

void requestShow(Connection& connection, xcb_window_t window) {
  connection.noteRequest(xcb_map_window(connection.get(), window).sequence);
  xcb_client_message_event_t event;
  std::memset(&event, 0, sizeof event);
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = connection.atoms().netActiveWindow;
  // Source 2: the user asked for it, so no focus-stealing prevention holds it back.
  event.data.data32[0] = 2;
  event.data.data32[1] = XCB_CURRENT_TIME;
  const auto cookie =
      xcb_send_event(connection.get(), 0, connection.root(),
                     XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                     reinterpret_cast<const char*>(&event));
  connection.noteRequest(cookie.sequence);
}

}  // namespace dozewick::x11
