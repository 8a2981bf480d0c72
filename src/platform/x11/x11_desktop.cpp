// The X11 backend's transport: the X server's windows, learnt from its events, for the model.
#include "platform/x11/x11_desktop.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "platform/x11/x11_window_facts.h"

namespace dozewick {

using x11::PropertyRequest;
using x11::readProperty;
using x11::requestProperty;
using xcb::Connection;

namespace {

constexpr std::uint32_t kMaxWindows = DesktopModel::kMaxWindows;
constexpr std::uint32_t kClientEvents =
    XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;

void selectEvents(Connection& connection, xcb_window_t window, std::uint32_t mask) {
  connection.noteRequest(
      xcb_change_window_attributes(connection.get(), window, XCB_CW_EVENT_MASK, &mask).sequence);
}

std::optional<std::uint32_t> firstCard32(PropertyRequest& request, std::uint32_t type) {
  return readProperty(request,
                      [type](const xcb::PropertyValue& v) { return xcb::firstCard32(v, type); });
}

}  // namespace

// What the events have said, and what is still to be read.
struct X11Desktop::Windows {
  bool listed = false;  // false: the next update is a full listing
  bool listsChanged = false;
  bool desktopChanged = false;
  bool framesChanged = false;  // a top-level window, a client's frame maybe, mapped or unmapped
  bool activeChanged = false;
  bool unreported = true;  // changed since the desktop model last heard of it

  std::optional<std::vector<xcb_window_t>> watched;  // topmost first; nullopt without the lists
  std::unordered_map<xcb_window_t, x11::WindowFacts> facts;  // the watched ones, events selected
  std::unordered_map<xcb_window_t, unsigned> dirty;          // what events said has changed
  std::optional<std::uint32_t> currentDesktop;
  xcb_window_t active = XCB_NONE;
  std::optional<std::int32_t> activePid;  // of an active window that is not watched
  xcb_window_t wmCheck = XCB_NONE;
  bool wmRuns = false;

  std::uint64_t fullListings = 0;
};

struct X11Desktop::RootRequests {
  PropertyRequest stacking, clients, desktop, active, check, supported;
};

X11Desktop::X11Desktop(std::string displayName, std::chrono::milliseconds replyTimeout,
                       std::int32_t ownPid, std::ostream& diagnostics, std::size_t maxEventsPerCall)
    : displayName_(std::move(displayName)),
      replyTimeout_(replyTimeout),
      maxEventsPerCall_(maxEventsPerCall),
      windows_(std::make_unique<Windows>()),
      model_(*this, ownPid, diagnostics, DesktopModel::Order::topmostFirst) {}

X11Desktop::~X11Desktop() = default;

std::uint64_t X11Desktop::roundTrips() const {
  return connection_ ? connection_->roundTrips() : 0;
}

std::uint64_t X11Desktop::requests() const {
  return connection_ ? connection_->requests() : 0;
}

std::uint64_t X11Desktop::fullListings() const {
  return windows_->fullListings;
}

xcb::Connection* X11Desktop::connection() {
  if (connection_ && connection_->isBroken()) {
    connection_.reset();
  }
  if (!connection_) {
    const std::uint64_t fullListings = windows_->fullListings;
    *windows_ = Windows();
    windows_->fullListings = fullListings;
    connection_ = xcb::Connection::open(displayName_, replyTimeout_);
  }
  return connection_.get();
}

// Runs one operation on windows brought up to date. A connection that broke during it is
// replaced and the operation tried once more, so that a server that came back since the last
// call is used at once; a server that does not answer in time makes the operation fail but keeps
// the connection, and the windows are listed anew once it answers again.
template <typename Result, typename Operation>
Result X11Desktop::attempt(Result failed, Operation operation) {
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
    readChanges(*current);
    Result result = current->isBroken() || current->timedOut() ? failed : operation(*current);
    if (!current->isBroken()) {
      if (current->timedOut()) {
        windows_->listed = false;
        return failed;
      }
      return result;
    }
    connection_.reset();
  }
  return failed;
}

bool X11Desktop::windowManagerRuns() {
  return attempt(false, [this](Connection&) { return windows_->wmRuns; });
}

bool X11Desktop::refresh() {
  return attempt(false, [this](Connection& connection) {
    feed(connection);
    return true;
  });
}

// Only windows that still exist are asked about: a request on a gone one would fail the sync.
template <class Request>
DesktopModel::Transport::Answer X11Desktop::ask(const std::vector<std::uint64_t>& ids,
                                                Request request) {
  return attempt(Answer::refused, [&](Connection& connection) {
    std::vector<std::pair<xcb_window_t, xcb::Pending<xcb_get_window_attributes_reply_t>>> checks;
    for (const std::uint64_t id : ids) {
      if (id != XCB_NONE && id <= 0xFFFFFFFFu) {
        const auto window = static_cast<xcb_window_t>(id);
        checks.emplace_back(window,
                            connection.pending<xcb_get_window_attributes_reply_t>(
                                xcb_get_window_attributes(connection.get(), window).sequence));
      }
    }
    bool any = false;
    for (auto& [window, check] : checks) {
      if (check.get()) {
        request(connection, window);
        any = true;
      }
    }
    // A request only sent can be lost with the connection; answered, it has been handled.
    return any && connection.sync() ? Answer::taken : Answer::refused;
  });
}

DesktopModel::Transport::Answer X11Desktop::minimize(const std::vector<std::uint64_t>& ids) {
  return ask(ids, [](Connection& connection, xcb_window_t window) {
    x11::requestIconify(connection, window);
  });
}

// The first is shown last, so that it ends on top.
DesktopModel::Transport::Answer X11Desktop::restore(const std::vector<std::uint64_t>& ids) {
  return ask(
      std::vector(ids.rbegin(), ids.rend()),
      [](Connection& connection, xcb_window_t window) { x11::requestShow(connection, window); });
}

// Takes in the events that arrived since the last call: no request, only what the server sent.
void X11Desktop::handleEvents(Connection& connection) {
  std::size_t handled = 0;
  while (xcb::Owned<xcb_generic_event_t> event{xcb_poll_for_event(connection.get())}) {
    if (++handled > maxEventsPerCall_) {
      while (xcb::Owned<xcb_generic_event_t> rest{xcb_poll_for_queued_event(connection.get())}) {
      }
      windows_->listed = false;
      return;
    }
    handleEvent(connection, *event);
  }
}

bool X11Desktop::handleEvent(Connection& connection, const xcb_generic_event_t& event) {
  Windows& w = *windows_;
  const xcb::Atoms& atoms = connection.atoms();
  const xcb_window_t root = connection.root();
  const auto touch = [&w](xcb_window_t window, unsigned need) {
    if (need != 0 && w.facts.contains(window)) {
      w.dirty[window] |= need;
    }
  };
  switch (event.response_type & 0x7F) {
    case XCB_PROPERTY_NOTIFY: {
      const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
      if (e.window != root) {
        touch(e.window, x11::needAfterChangeOf(e.atom, atoms));
        w.activeChanged |= e.window == w.active && e.atom == atoms.netWmPid;
      } else if (e.atom == atoms.netClientListStacking || e.atom == atoms.netClientList) {
        w.listsChanged = true;
      } else if (e.atom == atoms.netActiveWindow) {
        w.activeChanged = true;
      } else if (e.atom == atoms.netCurrentDesktop) {
        w.desktopChanged = true;
      } else if (e.atom == atoms.netSupportingWmCheck || e.atom == atoms.netSupported) {
        w.listed = false;  // another window manager
      }
      return true;
    }
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY: {
      // Both events start with the same fields. A window manager may hide a client by
      // unmapping its frame alone, which the client hears nothing of.
      const auto& e = reinterpret_cast<const xcb_map_notify_event_t&>(event);
      if (e.event == root && !w.facts.contains(e.window)) {
        w.framesChanged = !w.facts.empty();
      } else {
        touch(e.window, x11::kAttributes);
      }
      return true;
    }
    case XCB_REPARENT_NOTIFY:
      touch(reinterpret_cast<const xcb_reparent_notify_event_t&>(event).window, x11::kAttributes);
      return true;
    case XCB_DESTROY_NOTIFY: {
      const xcb_window_t window = reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window;
      w.activeChanged |= window == w.active;
      if (window == w.wmCheck) {
        w.listed = false;  // the window manager is gone
      } else if (const auto found = w.facts.find(window); found != w.facts.end()) {
        found->second.exists = false;
        found->second.viewable = false;
        w.dirty.erase(window);
        w.unreported = true;
      }
      return true;
    }
    default:
      return false;  // errors of requests without replies (a window gone before it was watched)
  }
}

// Reads what the events said has changed, everything on a full listing: at most two round trips,
// the root window's properties and the known windows first, then the windows new in the lists.
void X11Desktop::readChanges(Connection& connection) {
  Windows& w = *windows_;
  const bool full = !w.listed;
  if (full) {
    ++w.fullListings;
    selectEvents(connection, connection.root(),
                 XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
    w.listsChanged = w.desktopChanged = w.activeChanged = true;
    w.framesChanged = false;
    // Selected already; read anew as new windows.
    w.facts.clear();
    w.dirty.clear();
  } else if (std::exchange(w.framesChanged, false) || w.desktopChanged) {
    // Which client a frame holds is not known here; the map states are read anew.
    for (const auto& [window, facts] : w.facts) {
      w.dirty[window] |= x11::kAttributes;
    }
  }
  if (!full && !w.listsChanged && !w.desktopChanged && !w.activeChanged && w.dirty.empty()) {
    return;
  }
  w.unreported = true;
  w.listed = true;

  const xcb_window_t root = connection.root();
  const xcb::Atoms& atoms = connection.atoms();
  RootRequests requests;
  if (w.listsChanged) {
    requests.stacking = requestProperty(connection, root, atoms.netClientListStacking, kMaxWindows);
    requests.clients = requestProperty(connection, root, atoms.netClientList, kMaxWindows);
  }
  if (w.desktopChanged) {
    requests.desktop = requestProperty(connection, root, atoms.netCurrentDesktop, 1);
  }
  if (w.activeChanged) {
    requests.active = requestProperty(connection, root, atoms.netActiveWindow, 1);
  }
  if (full) {
    requests.check = requestProperty(connection, root, atoms.netSupportingWmCheck, 1);
    requests.supported = requestProperty(connection, root, atoms.netSupported, 4096);
  }
  std::vector<x11::WindowRequests> known;
  known.reserve(w.dirty.size());
  for (const auto& [window, need] : w.dirty) {
    known.push_back(x11::requestWindow(connection, window, need));
  }
  w.dirty.clear();

  const bool listsChanged = w.listsChanged;
  const bool activeChanged = w.activeChanged;
  const xcb_window_t check = readRoot(connection, requests);
  for (x11::WindowRequests& r : known) {
    if (const auto found = w.facts.find(r.window); found != w.facts.end()) {
      x11::applyReplies(connection, r, found->second);
    }
  }
  follow(connection, full, check, activeChanged, listsChanged);
}

// The root window's properties that changed; returns the window manager's check window, while
// it claims what is needed, on a full listing.
xcb_window_t X11Desktop::readRoot(Connection& connection, RootRequests& requests) {
  Windows& w = *windows_;
  if (std::exchange(w.listsChanged, false)) {
    w.watched = watchedWindows(connection, requests);
  }
  if (std::exchange(w.desktopChanged, false)) {
    w.currentDesktop = firstCard32(requests.desktop, XCB_ATOM_CARDINAL);
  }
  if (std::exchange(w.activeChanged, false)) {
    w.active = firstCard32(requests.active, XCB_ATOM_WINDOW).value_or(XCB_NONE);
  }
  const xcb::Atoms& atoms = connection.atoms();
  const auto supported = readProperty(requests.supported, [](const xcb::PropertyValue& v) {
    return xcb::card32List(v, XCB_ATOM_ATOM);
  });
  if (!x11::contains(supported, atoms.netClientListStacking) ||
      !x11::contains(supported, atoms.netActiveWindow)) {
    return XCB_NONE;
  }
  return firstCard32(requests.check, XCB_ATOM_WINDOW).value_or(XCB_NONE);
}

// Watches the windows new in the lists and forgets those that left, and reads them; watches the
// window manager's check window and an active window that is not listed.
void X11Desktop::follow(Connection& connection, bool full, xcb_window_t check, bool activeChanged,
                        bool listsChanged) {
  Windows& w = *windows_;
  // Windows that came are selected before they are read, so that no change after the reading
  // goes unseen.
  std::vector<x11::WindowRequests> added;
  if (listsChanged) {
    const std::vector<xcb_window_t> none;
    const auto& watched = w.watched ? *w.watched : none;
    const std::unordered_set<xcb_window_t> now(watched.begin(), watched.end());
    std::erase_if(w.facts, [&](const auto& known) {
      if (now.contains(known.first)) {
        return false;
      }
      if (known.second.exists) {
        selectEvents(connection, known.first, 0);
      }
      return true;
    });
    for (const xcb_window_t window : watched) {
      if (!w.facts.contains(window)) {
        selectEvents(connection, window, kClientEvents);
        added.push_back(x11::requestWindow(connection, window, x11::kEverything));
        w.facts.emplace(window, x11::WindowFacts());
      }
    }
  }
  // The check window names itself while its window manager lives; its end is an event too.
  PropertyRequest selfRequest;
  if (check != XCB_NONE) {
    selectEvents(connection, check, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    selfRequest = requestProperty(connection, check, connection.atoms().netSupportingWmCheck, 1);
  }
  std::optional<x11::WindowRequests> activeOwner;
  if ((activeChanged || listsChanged) && w.active != XCB_NONE && !w.facts.contains(w.active)) {
    // Not a listed window: watched for its end and its owner alone.
    selectEvents(connection, w.active, kClientEvents);
    activeOwner = x11::requestWindow(connection, w.active, x11::kAttributes | x11::kPid);
  } else if (w.active == XCB_NONE || w.facts.contains(w.active)) {
    w.activePid.reset();
  }

  for (x11::WindowRequests& r : added) {
    x11::applyReplies(connection, r, w.facts[r.window]);
  }
  if (full) {
    const auto self = firstCard32(selfRequest, XCB_ATOM_WINDOW);
    // A window manager that died leaves the root property behind; the window it names is gone.
    w.wmRuns = check != XCB_NONE && self == check;
    w.wmCheck = w.wmRuns ? check : XCB_NONE;
  }
  if (activeOwner) {
    x11::WindowFacts facts;
    x11::applyReplies(connection, *activeOwner, facts);
    w.activePid = facts.exists ? facts.pid() : std::nullopt;
  }
}

// One of the root window's lists, or its last kMaxWindows ids when it is longer.
std::optional<std::vector<std::uint32_t>> X11Desktop::readList(Connection& connection,
                                                               PropertyRequest& request,
                                                               std::uint32_t property, bool& cut) {
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
  model_.noteTooManyWindows(total);
  auto tail = requestProperty(connection, connection.root(), property, kMaxWindows,
                              static_cast<std::uint32_t>(total - kMaxWindows));
  return readProperty(
      tail, [](const xcb::PropertyValue& v) { return xcb::card32List(v, XCB_ATOM_WINDOW); });
}

// The managed windows, topmost first, at most kMaxWindows of them; nullopt without an EWMH
// window manager. A client can set a list of any length on the root window; asking about every
// window in it would stall each check for as long as the list stands.
std::optional<std::vector<xcb_window_t>> X11Desktop::watchedWindows(Connection& connection,
                                                                    RootRequests& requests) {
  const xcb::Atoms& atoms = connection.atoms();
  // Both lists run bottom to top, or in the order of mapping: the newest are at the end.
  bool stackingCut = false;
  bool clientsCut = false;
  auto windows = readList(connection, requests.stacking, atoms.netClientListStacking, stackingCut);
  const auto clients = readList(connection, requests.clients, atoms.netClientList, clientsCut);
  if (!windows && !clients) {
    return std::nullopt;
  }
  // xfwm4 leaves a window out of the stacking list until something is restacked (the first
  // window of a session is never in it); such a window was mapped last, so it is on top.
  if (!windows) {
    windows.emplace();
  }
  if (clients && !stackingCut && !clientsCut) {
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

// Tells the desktop model what changed since it last heard.
void X11Desktop::feed(Connection& connection) {
  Windows& w = *windows_;
  if (!std::exchange(w.unreported, false)) {
    return;
  }
  if (!w.watched) {
    model_.forget();
    return;
  }
  std::vector<DesktopWindow> reported;
  reported.reserve(w.watched->size());
  for (const xcb_window_t window : *w.watched) {
    const auto found = w.facts.find(window);
    if (found == w.facts.end()) {
      continue;
    }
    if (auto described = x11::describe(window, found->second, connection.atoms(), w.currentDesktop,
                                       connection.hasResourceExtension())) {
      reported.push_back(std::move(*described));
    }
  }
  std::optional<std::int32_t> activePid;
  if (w.active != XCB_NONE) {
    const auto active = w.facts.find(w.active);
    activePid = active == w.facts.end()
                    ? w.activePid
                    : (active->second.exists ? active->second.pid() : std::nullopt);
  }
  model_.report(std::move(reported), activePid);
}

}  // namespace dozewick
