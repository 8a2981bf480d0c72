#include "platform/x11/x11_window_system.h"

#include <signal.h>
#include <strings.h>
#include <xcb/res.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "platform/x11/xcb_property.h"

namespace dozewick {

namespace {

using xcb::Connection;
using xcb::Pending;
using PropertyRequest = std::optional<Pending<xcb_get_property_reply_t>>;

// Upper bounds of what one property read may bring; a client may store far more.
constexpr std::uint32_t kMaxWindows = X11WindowSystem::kMaxWatchedWindows;
constexpr std::uint32_t kTitleLongs = 4096;  // 16 KiB of title
constexpr std::uint32_t kClassLongs = 256;
constexpr std::uint32_t kAtomListLongs = 64;
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
constexpr std::uint32_t kMaxPid = 0x7FFFFFFF;

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

// What the model knows about one client window.
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
  std::optional<Pending<xcb_get_window_attributes_reply_t>> attributes;
  std::optional<Pending<xcb_res_query_client_ids_reply_t>> clientIds;
  PropertyRequest type, state, desktop, netPid, wmClass, netName, wmName, wmState;
};

PropertyRequest requestProperty(Connection& connection, xcb_window_t window, xcb_atom_t property,
                                std::uint32_t longs, std::uint32_t offset = 0) {
  const auto cookie = xcb_get_property(connection.get(), 0, window, property,
                                       XCB_GET_PROPERTY_TYPE_ANY, offset, longs);
  return connection.pending<xcb_get_property_reply_t>(cookie.sequence);
}

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

// Sends the requests for what `need` says of one window; its replies are read by applyReplies,
// after the requests for every other window have gone out too.
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
      const xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
      r.clientIds.emplace(connection.pending<xcb_res_query_client_ids_reply_t>(
          xcb_res_query_client_ids(c, 1, &spec).sequence));
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

// Replaces what the requests asked about; the rest of the facts stays as it was.
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
        f.localPid = xcb::localClientPid(xcb::replyBytes(reply));
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

std::optional<std::uint32_t> readCurrentDesktop(PropertyRequest& request) {
  return readProperty(
      request, [](const xcb::PropertyValue& v) { return xcb::firstCard32(v, XCB_ATOM_CARDINAL); });
}

bool onDesktop(const WindowFacts& f, std::optional<std::uint32_t> currentDesktop) {
  return !f.desktop || !currentDesktop || *f.desktop == kAllDesktops ||
         *f.desktop == *currentDesktop;
}

// A window a task bar would show: one that asks to be left out could not be brought back once
// iconified.
bool inTaskBar(const WindowFacts& f, const xcb::Atoms& atoms) {
  return !contains(f.states, atoms.netWmStateSkipTaskbar);
}

// On screen now, as the listing takes a window.
bool shownNow(const WindowFacts& f, const xcb::Atoms& atoms,
              std::optional<std::uint32_t> currentDesktop) {
  return f.exists && f.viewable && !contains(f.states, atoms.netWmStateHidden) &&
         inTaskBar(f, atoms) && onDesktop(f, currentDesktop);
}

bool isApplicationWindow(const WindowFacts& f, const xcb::Atoms& atoms) {
  return xcb::windowLayer(f.types, atoms) == 0;
}

bool processIsAlive(std::int32_t pid) {
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

// ICCCM: a client asks for iconic state with WM_CHANGE_STATE, sent to the root window.
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

bool isWaylandSession() {
  const char* session = std::getenv("XDG_SESSION_TYPE");
  return session != nullptr && ::strcasecmp(session, "wayland") == 0;
}

}  // namespace

struct X11WindowSystem::Model {
  bool listed = false;  // false: the next update is a full listing
  bool listsChanged = false;
  bool desktopChanged = false;
  bool framesChanged = false;  // a top-level window, a client's frame maybe, mapped or unmapped
  bool activeChanged = false;
  bool derivedStale = true;

  std::optional<std::vector<xcb_window_t>> watched;  // topmost first; nullopt without the lists
  std::unordered_map<xcb_window_t, WindowFacts> windows;  // the watched ones, events selected
  std::unordered_map<xcb_window_t, unsigned> dirty;       // what events said has changed
  std::optional<std::uint32_t> currentDesktop;
  xcb_window_t active = XCB_NONE;
  std::optional<std::int32_t> activePid;  // of an active window that is not watched
  xcb_window_t wmCheck = XCB_NONE;
  bool trusted = false;

  // Derived from the above whenever it changed.
  WindowEntries entries;
  std::optional<std::int32_t> frontmost;

  std::uint64_t fullListings = 0;
};

X11WindowSystem::X11WindowSystem(std::string displayName, std::chrono::milliseconds replyTimeout,
                                 std::int32_t ownPid, std::size_t maxEventsPerCall)
    : displayName_(std::move(displayName)),
      replyTimeout_(replyTimeout),
      ownPid_(ownPid),
      maxEventsPerCall_(maxEventsPerCall),
      model_(std::make_unique<Model>()) {}

X11WindowSystem::~X11WindowSystem() = default;

std::uint64_t X11WindowSystem::roundTrips() const {
  const std::lock_guard lock(mutex_);
  return connection_ ? connection_->roundTrips() : 0;
}

std::uint64_t X11WindowSystem::requests() const {
  const std::lock_guard lock(mutex_);
  return connection_ ? connection_->requests() : 0;
}

std::uint64_t X11WindowSystem::fullListings() const {
  const std::lock_guard lock(mutex_);
  return model_->fullListings;
}

xcb::Connection* X11WindowSystem::connection() {
  if (connection_ && connection_->isBroken()) {
    connection_.reset();
  }
  if (!connection_) {
    const std::uint64_t fullListings = model_->fullListings;
    *model_ = Model();
    model_->fullListings = fullListings;
    connection_ = xcb::Connection::open(displayName_, replyTimeout_);
  }
  return connection_.get();
}

// Runs one operation on a model brought up to date. A connection that broke during it is
// replaced and the operation tried once more, so that a server that came back since the last
// call is used at once; a server that does not answer in time makes the operation fail but keeps
// the connection, and the model is listed anew once it answers again.
template <typename Result, typename Operation>
Result X11WindowSystem::attempt(Result failed, Operation operation) {
  for (int tries = 0; tries < 2; ++tries) {
    xcb::Connection* current = connection();
    if (current == nullptr) {
      return failed;
    }
    // Taking the events reads what the server sent, also the answer an earlier stall waits for.
    handleEvents(*current);
    if (!current->beginOperation()) {
      return failed;
    }
    refresh(*current);
    Result result = current->isBroken() || current->timedOut() ? failed : operation(*current);
    if (!current->isBroken()) {
      if (current->timedOut()) {
        model_->listed = false;
        return failed;
      }
      return result;
    }
    connection_.reset();
  }
  return failed;
}

// Takes in the events that arrived since the last call: no request, only what the server sent.
void X11WindowSystem::handleEvents(Connection& connection) {
  Model& m = *model_;
  const xcb::Atoms& atoms = connection.atoms();
  const xcb_window_t root = connection.root();
  const auto touch = [&](xcb_window_t window, unsigned need) {
    if (need != 0 && m.windows.contains(window)) {
      m.dirty[window] |= need;
    }
  };
  std::size_t handled = 0;
  while (xcb::Owned<xcb_generic_event_t> event{xcb_poll_for_event(connection.get())}) {
    if (++handled > maxEventsPerCall_) {
      while (xcb::Owned<xcb_generic_event_t> rest{xcb_poll_for_queued_event(connection.get())}) {
      }
      m.listed = false;
      return;
    }
    switch (event->response_type & 0x7F) {
      case XCB_PROPERTY_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
        if (e->window != root) {
          touch(e->window, needAfterChangeOf(e->atom, atoms));
          if (e->window == m.active && e->atom == atoms.netWmPid) {
            m.activeChanged = true;
          }
        } else if (e->atom == atoms.netClientListStacking || e->atom == atoms.netClientList) {
          m.listsChanged = true;
        } else if (e->atom == atoms.netActiveWindow) {
          m.activeChanged = true;
        } else if (e->atom == atoms.netCurrentDesktop) {
          m.desktopChanged = true;
        } else if (e->atom == atoms.netSupportingWmCheck || e->atom == atoms.netSupported) {
          m.listed = false;  // another window manager
        }
        break;
      }
      case XCB_MAP_NOTIFY:
      case XCB_UNMAP_NOTIFY: {
        // Both events start with the same fields. A window manager may hide a client by
        // unmapping its frame alone, which the client hears nothing of.
        const auto* e = reinterpret_cast<const xcb_map_notify_event_t*>(event.get());
        if (e->event == root && !m.windows.contains(e->window)) {
          m.framesChanged = !m.windows.empty();
        } else {
          touch(e->window, kAttributes);
        }
        break;
      }
      case XCB_REPARENT_NOTIFY:
        touch(reinterpret_cast<const xcb_reparent_notify_event_t*>(event.get())->window,
              kAttributes);
        break;
      case XCB_DESTROY_NOTIFY: {
        const xcb_window_t window =
            reinterpret_cast<const xcb_destroy_notify_event_t*>(event.get())->window;
        if (window == m.active) {
          m.activeChanged = true;
        }
        if (window == m.wmCheck) {
          m.listed = false;  // the window manager is gone
        } else if (const auto found = m.windows.find(window); found != m.windows.end()) {
          found->second.exists = false;
          found->second.viewable = false;
          m.dirty.erase(window);
          m.derivedStale = true;
        }
        break;
      }
      default:
        break;  // errors of requests without replies (a window gone before it was watched)
    }
  }
}

// Reads what the events said has changed, everything on a full listing: at most two round trips,
// the root window's properties and the known windows first, then the windows new in the lists.
void X11WindowSystem::refresh(Connection& connection) {
  Model& m = *model_;
  const xcb::Atoms& atoms = connection.atoms();
  const xcb_window_t root = connection.root();
  xcb_connection_t* c = connection.get();
  const bool full = !m.listed;
  if (full) {
    ++m.fullListings;
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    connection.noteRequest(
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask).sequence);
    m.listsChanged = m.desktopChanged = m.activeChanged = true;
    m.framesChanged = false;
    // Selected already; read anew as new windows.
    m.windows.clear();
    m.dirty.clear();
  } else if (std::exchange(m.framesChanged, false) || m.desktopChanged) {
    // Which client a frame holds is not known here; the map states are read anew.
    for (const auto& [window, facts] : m.windows) {
      m.dirty[window] |= kAttributes;
    }
  }
  if (!full && !m.listsChanged && !m.desktopChanged && !m.activeChanged && m.dirty.empty()) {
    return;
  }
  m.derivedStale = true;
  m.listed = true;

  PropertyRequest stackingRequest, clientsRequest, desktopRequest, activeRequest, checkRequest,
      supportedRequest;
  if (m.listsChanged) {
    stackingRequest = requestProperty(connection, root, atoms.netClientListStacking, kMaxWindows);
    clientsRequest = requestProperty(connection, root, atoms.netClientList, kMaxWindows);
  }
  if (m.desktopChanged) {
    desktopRequest = requestProperty(connection, root, atoms.netCurrentDesktop, 1);
  }
  if (m.activeChanged) {
    activeRequest = requestProperty(connection, root, atoms.netActiveWindow, 1);
  }
  if (full) {
    checkRequest = requestProperty(connection, root, atoms.netSupportingWmCheck, 1);
    supportedRequest = requestProperty(connection, root, atoms.netSupported, 4096);
  }
  std::vector<WindowRequests> known;
  known.reserve(m.dirty.size());
  for (const auto& [window, need] : m.dirty) {
    known.push_back(requestWindow(connection, window, need));
  }
  m.dirty.clear();

  const bool listsChanged = std::exchange(m.listsChanged, false);
  if (listsChanged) {
    m.watched = watchedWindows(connection, stackingRequest, clientsRequest);
  }
  if (std::exchange(m.desktopChanged, false)) {
    m.currentDesktop = readCurrentDesktop(desktopRequest);
  }
  const bool activeChanged = std::exchange(m.activeChanged, false);
  if (activeChanged) {
    m.active = readProperty(activeRequest, [](const xcb::PropertyValue& v) {
                 return xcb::firstCard32(v, XCB_ATOM_WINDOW);
               }).value_or(XCB_NONE);
  }
  xcb_window_t check = XCB_NONE;  // the window manager's, while it claims what is needed
  if (full) {
    const auto supported = readProperty(supportedRequest, [](const xcb::PropertyValue& v) {
      return xcb::card32List(v, XCB_ATOM_ATOM);
    });
    if (contains(supported, atoms.netClientListStacking) &&
        contains(supported, atoms.netActiveWindow)) {
      check = readProperty(checkRequest, [](const xcb::PropertyValue& v) {
                return xcb::firstCard32(v, XCB_ATOM_WINDOW);
              }).value_or(XCB_NONE);
    }
  }
  for (WindowRequests& r : known) {
    if (const auto found = m.windows.find(r.window); found != m.windows.end()) {
      applyReplies(connection, r, found->second);
    }
  }

  // The windows that left the lists are no longer watched; those that came are, from now on:
  // selected before they are read, so that no change after the reading goes unseen.
  const std::uint32_t clientMask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
  std::vector<WindowRequests> added;
  if (listsChanged) {
    const std::vector<xcb_window_t> none;
    const auto& watched = m.watched ? *m.watched : none;
    const std::unordered_set<xcb_window_t> now(watched.begin(), watched.end());
    std::erase_if(m.windows, [&](const auto& known) {
      if (now.contains(known.first)) {
        return false;
      }
      if (known.second.exists) {
        const std::uint32_t noEvents = 0;
        connection.noteRequest(
            xcb_change_window_attributes(c, known.first, XCB_CW_EVENT_MASK, &noEvents).sequence);
      }
      return true;
    });
    for (const xcb_window_t window : watched) {
      if (!m.windows.contains(window)) {
        connection.noteRequest(
            xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &clientMask).sequence);
        added.push_back(requestWindow(connection, window, kEverything));
        m.windows.emplace(window, WindowFacts());
      }
    }
  }
  // The check window names itself while its window manager lives; its end is an event too.
  PropertyRequest selfRequest;
  if (check != XCB_NONE) {
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    connection.noteRequest(
        xcb_change_window_attributes(c, check, XCB_CW_EVENT_MASK, &mask).sequence);
    selfRequest = requestProperty(connection, check, atoms.netSupportingWmCheck, 1);
  }
  std::optional<WindowRequests> activeOwner;
  if ((activeChanged || listsChanged) && m.active != XCB_NONE && !m.windows.contains(m.active)) {
    // Not a listed window: watched for its end and its owner alone.
    connection.noteRequest(
        xcb_change_window_attributes(c, m.active, XCB_CW_EVENT_MASK, &clientMask).sequence);
    activeOwner = requestWindow(connection, m.active, kAttributes | kPid);
  } else if (m.active == XCB_NONE || m.windows.contains(m.active)) {
    m.activePid.reset();
  }

  for (WindowRequests& r : added) {
    applyReplies(connection, r, m.windows[r.window]);
  }
  if (full) {
    const auto self = readProperty(selfRequest, [](const xcb::PropertyValue& v) {
      return xcb::firstCard32(v, XCB_ATOM_WINDOW);
    });
    // A window manager that died leaves the root property behind; the window it names is gone.
    m.trusted = check != XCB_NONE && self == check;
    m.wmCheck = m.trusted ? check : XCB_NONE;
  }
  if (activeOwner) {
    WindowFacts facts;
    applyReplies(connection, *activeOwner, facts);
    m.activePid = facts.exists ? facts.pid() : std::nullopt;
  }
}

// The managed windows, topmost first, at most kMaxWatchedWindows of them; nullopt without an
// EWMH window manager. A client can set a list of any length on the root window; asking about
// every window in it would stall each check for as long as the list stands.
std::optional<std::vector<xcb_window_t>> X11WindowSystem::watchedWindows(
    Connection& connection, PropertyRequest& stackingRequest, PropertyRequest& clientsRequest) {
  const xcb::Atoms& atoms = connection.atoms();
  const xcb_window_t root = connection.root();
  // Both lists run bottom to top, or in the order of mapping: the newest are at the end.
  bool cut = false;
  const auto readList = [&](PropertyRequest& request,
                            xcb_atom_t property) -> std::optional<std::vector<std::uint32_t>> {
    const auto reply = request ? request->get() : nullptr;
    if (!reply) {
      return std::nullopt;
    }
    auto list = xcb::card32List(xcb::propertyValue(xcb::replyBytes(reply)), XCB_ATOM_WINDOW);
    if (!list || reply->bytes_after < 4) {
      return list;
    }
    cut = true;
    const std::uint64_t total = std::uint64_t{kMaxWindows} + reply->bytes_after / 4;
    if (!warnedAboutTooManyWindows_) {
      warnedAboutTooManyWindows_ = true;
      std::cerr << "Dozewick: the window manager lists " << total << " windows; only the "
                << kMaxWindows << " topmost are watched.\n";
    }
    auto tail = requestProperty(connection, root, property, kMaxWindows,
                                static_cast<std::uint32_t>(total - kMaxWindows));
    return readProperty(
        tail, [](const xcb::PropertyValue& v) { return xcb::card32List(v, XCB_ATOM_WINDOW); });
  };
  auto windows = readList(stackingRequest, atoms.netClientListStacking);
  const bool stackingCut = std::exchange(cut, false);
  const auto clients = readList(clientsRequest, atoms.netClientList);
  if (!windows && !clients) {
    return std::nullopt;
  }
  // xfwm4 leaves a window out of the stacking list until something is restacked (the first
  // window of a session is never in it); such a window was mapped last, so it is on top.
  if (!windows) {
    windows.emplace();
  }
  if (clients && !stackingCut && !cut) {
    const std::unordered_set<std::uint32_t> stacked(windows->begin(), windows->end());
    for (const std::uint32_t client : *clients) {
      if (!stacked.contains(client)) {
        windows->push_back(client);
      }
    }
  }
  if (windows->size() > kMaxWindows) {
    windows->erase(windows->begin(), windows->end() - kMaxWindows);
  }
  std::reverse(windows->begin(), windows->end());
  std::erase(*windows, XCB_NONE);
  return std::vector<xcb_window_t>(windows->begin(), windows->end());
}

bool X11WindowSystem::update() {
  const std::lock_guard lock(mutex_);
  return attempt(false, [](Connection&) { return true; });
}

bool X11WindowSystem::trusted() {
  if (isWaylandSession()) {
    return false;
  }
  const std::lock_guard lock(mutex_);
  return attempt(false, [this](Connection&) { return model_->trusted; });
}

WindowEntries X11WindowSystem::onScreenWindowEntries() {
  const std::lock_guard lock(mutex_);
  return attempt(WindowEntries(), [this](Connection& connection) -> WindowEntries {
    derive(connection);
    return model_->entries;
  });
}

// The listing and the frontmost application, computed again only after a change.
void X11WindowSystem::derive(Connection& connection) {
  Model& m = *model_;
  if (!m.derivedStale) {
    return;
  }
  m.derivedStale = false;
  WindowEntries previous = std::exchange(m.entries, nullptr);
  m.frontmost.reset();
  if (!m.watched) {
    return;
  }
  const xcb::Atoms& atoms = connection.atoms();
  std::vector<WindowEntry> entries;
  entries.reserve(m.watched->size());
  for (const xcb_window_t window : *m.watched) {
    const WindowFacts& f = m.windows[window];
    if (!shownNow(f, atoms, m.currentDesktop) || (ownPid_ != 0 && f.pid() == ownPid_)) {
      continue;
    }
    WindowEntry entry;
    entry.layer = xcb::windowLayer(f.types, atoms);
    entry.number = std::int64_t{window};
    if (const auto pid = f.pid()) {
      entry.ownerPID = std::int64_t{*pid};
    }
    if (f.ownerName) {
      entry.ownerName = *f.ownerName;
    }
    if (f.title) {
      entry.name = *f.title;
    }
    entries.push_back(std::move(entry));
  }
  // An event that changed nothing listed (a focus change, a window's own property) keeps the
  // listing as it was, so the policy need not look at it again.
  m.entries = unlessUnchanged(previous, std::move(entries));

  if (m.active == XCB_NONE) {
    return;
  }
  const auto active = m.windows.find(m.active);
  const auto pid = active == m.windows.end()
                       ? m.activePid
                       : (active->second.exists ? active->second.pid() : std::nullopt);
  if (ownPid_ == 0 || pid != ownPid_) {
    m.frontmost = pid;
    return;
  }
  // The program's own window is active (its panel, a dialog): the user's application is the
  // one the window manager raised last, below it.
  for (const xcb_window_t window : *m.watched) {
    const WindowFacts& f = m.windows[window];
    if (shownNow(f, atoms, m.currentDesktop) && isApplicationWindow(f, atoms) && f.pid() &&
        f.pid() != ownPid_) {
      m.frontmost = f.pid();
      return;
    }
  }
}

bool X11WindowSystem::hideApplication(std::int32_t pid) {
  if (pid <= 0 || pid == ownPid_) {
    return false;
  }
  const std::lock_guard lock(mutex_);
  return attempt(false, [this, pid](Connection& connection) {
    const Model& m = *model_;
    if (!m.watched) {
      return false;
    }
    const xcb::Atoms& atoms = connection.atoms();
    const bool trustClaims = !connection.hasResourceExtension();
    bool owns = false;
    std::vector<xcb_window_t> listed;
    for (const xcb_window_t window : *m.watched) {
      const WindowFacts& f = m.windows.at(window);
      // The server knows which local client made a window; without X-Resource the client's
      // own claim has to do, checked against the running processes.
      const auto owner = trustClaims ? f.netPid : f.localPid;
      if (!f.exists || owner != pid) {
        continue;
      }
      owns = true;
      // Only what the listing counts: never the desktop, a dock, a menu or a notification that
      // the same process draws.
      if (shownNow(f, atoms, m.currentDesktop) && isApplicationWindow(f, atoms)) {
        listed.push_back(window);
      }
    }
    if (!owns || (trustClaims && !processIsAlive(pid))) {
      return false;
    }
    for (const xcb_window_t window : listed) {
      requestIconify(connection, window);
    }
    // A request only sent can be lost with the connection; answered, it has been handled.
    return connection.sync();
  });
}

std::optional<std::vector<AccessibleWindow>> X11WindowSystem::applicationWindows(std::int32_t pid) {
  using Windows = std::optional<std::vector<AccessibleWindow>>;
  if (pid <= 0) {
    return std::nullopt;
  }
  if (pid == ownPid_) {
    return std::vector<AccessibleWindow>();
  }
  const std::lock_guard lock(mutex_);
  return attempt(Windows(), [this, pid](Connection& connection) -> Windows {
    const Model& m = *model_;
    if (!m.watched) {
      return std::nullopt;
    }
    const xcb::Atoms& atoms = connection.atoms();
    std::vector<AccessibleWindow> result;
    for (const xcb_window_t window : *m.watched) {
      const WindowFacts& f = m.windows.at(window);
      // Minimized ones too, but only of the kinds the listing counts.
      if (!f.exists || f.netPid != pid || !isApplicationWindow(f, atoms) || !inTaskBar(f, atoms) ||
          !onDesktop(f, m.currentDesktop)) {
        continue;
      }
      AccessibleWindow entry;
      entry.handle = window;
      entry.title = f.title;
      if (f.states || f.iconic) {
        entry.minimized = contains(f.states, atoms.netWmStateHidden) || f.iconic.value_or(false);
      }
      result.push_back(std::move(entry));
    }
    return result;
  });
}

bool X11WindowSystem::setMinimized(const AccessibleWindow& window) {
  if (window.handle == XCB_NONE || window.handle > 0xFFFFFFFFu) {
    return false;
  }
  const auto id = static_cast<xcb_window_t>(window.handle);
  const std::lock_guard lock(mutex_);
  return attempt(false, [id](Connection& connection) {
    auto attributes = connection.pending<xcb_get_window_attributes_reply_t>(
        xcb_get_window_attributes(connection.get(), id).sequence);
    if (!attributes.get()) {
      return false;
    }
    requestIconify(connection, id);
    return connection.sync();
  });
}

std::optional<std::int32_t> X11WindowSystem::frontmostApplicationPID() {
  using Pid = std::optional<std::int32_t>;
  const std::lock_guard lock(mutex_);
  return attempt(Pid(), [this](Connection& connection) -> Pid {
    derive(connection);
    return model_->frontmost;
  });
}

}  // namespace dozewick
