#include "platform/x11/x11_window_system.h"

#include <signal.h>
#include <xcb/res.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cerrno>
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
};

// What one listing learnt about one client window.
struct WindowFacts {
  xcb_window_t id = XCB_NONE;
  bool exists = false;
  bool viewable = false;
  std::optional<std::vector<std::uint32_t>> types;
  std::optional<std::vector<std::uint32_t>> states;
  std::optional<std::uint32_t> desktop;
  std::optional<std::int32_t> localPid;  // from the X server: a local client's process
  std::optional<std::int32_t> netPid;    // as the client claims it
  std::optional<std::string> className;
  std::optional<std::string> title;
  std::optional<bool> iconic;

  std::optional<std::int32_t> pid() const { return localPid ? localPid : netPid; }
};

struct WindowRequests {
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

// Sends every request for every window before reading any reply: one round trip in all.
// `needs` says what to ask of each window.
std::vector<WindowFacts> readWindows(Connection& connection,
                                     const std::vector<xcb_window_t>& windows,
                                     const std::vector<unsigned>& needs) {
  const xcb::Atoms& atoms = connection.atoms();
  xcb_connection_t* c = connection.get();
  std::vector<WindowRequests> requests(windows.size());
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const xcb_window_t window = windows[i];
    const unsigned need = needs[i];
    WindowRequests& r = requests[i];
    r.attributes.emplace(connection.pending<xcb_get_window_attributes_reply_t>(
        xcb_get_window_attributes(c, window).sequence));
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
  }

  std::vector<WindowFacts> facts(windows.size());
  for (std::size_t i = 0; i < windows.size(); ++i) {
    WindowRequests& r = requests[i];
    WindowFacts& f = facts[i];
    f.id = windows[i];
    if (const auto attributes = r.attributes->get()) {
      f.exists = true;
      f.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    }
    f.types = readProperty(
        r.type, [&](const xcb::PropertyValue& v) { return xcb::card32List(v, XCB_ATOM_ATOM); });
    f.states = readProperty(
        r.state, [&](const xcb::PropertyValue& v) { return xcb::card32List(v, XCB_ATOM_ATOM); });
    f.desktop = readProperty(r.desktop, [&](const xcb::PropertyValue& v) {
      return xcb::firstCard32(v, XCB_ATOM_CARDINAL);
    });
    f.netPid = asPid(readProperty(r.netPid, [&](const xcb::PropertyValue& v) {
      return xcb::firstCard32(v, XCB_ATOM_CARDINAL);
    }));
    if (r.clientIds) {
      if (const auto reply = r.clientIds->get()) {
        f.localPid = xcb::localClientPid(xcb::replyBytes(reply));
      }
    }
    f.className = readProperty(
        r.wmClass, [&](const xcb::PropertyValue& v) { return xcb::wmClassName(v, atoms); });
    f.title = readProperty(r.netName,
                           [&](const xcb::PropertyValue& v) { return xcb::textValue(v, atoms); });
    auto wmName = readProperty(
        r.wmName, [&](const xcb::PropertyValue& v) { return xcb::textValue(v, atoms); });
    if (!f.title) {
      f.title = std::move(wmName);
    }
    f.iconic = readProperty(
        r.wmState, [&](const xcb::PropertyValue& v) { return xcb::wmStateIconic(v, atoms); });
  }
  return facts;
}

std::vector<WindowFacts> readWindows(Connection& connection,
                                     const std::vector<xcb_window_t>& windows, unsigned need) {
  return readWindows(connection, windows, std::vector<unsigned>(windows.size(), need));
}

bool contains(const std::optional<std::vector<std::uint32_t>>& list, std::uint32_t value) {
  return list && std::find(list->begin(), list->end(), value) != list->end();
}

PropertyRequest requestCurrentDesktop(Connection& connection) {
  return requestProperty(connection, connection.root(), connection.atoms().netCurrentDesktop, 1);
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

std::optional<std::string> processName(std::int32_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  if (!file || !std::getline(file, name) || name.empty()) {
    return std::nullopt;
  }
  return xcb::utf8Lossy(name);
}

bool processIsAlive(std::int32_t pid) {
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

// What a window states before it is mapped and keeps for its life: asked at its first listing
// only, which more than halves what each later listing asks.
struct StableFacts {
  std::optional<std::vector<std::uint32_t>> types;
  std::optional<std::int32_t> localPid;
  std::optional<std::int32_t> netPid;
  std::optional<std::string> className;
  // Listed, but no such window: a stale or forged list. Only asked whether it exists now.
  bool missing = false;
};
using KnownWindowMap = std::unordered_map<xcb_window_t, StableFacts>;

std::vector<unsigned> listingNeeds(const KnownWindowMap& known,
                                   const std::vector<xcb_window_t>& windows) {
  std::vector<unsigned> needs;
  needs.reserve(windows.size());
  for (const xcb_window_t window : windows) {
    const auto found = known.find(window);
    if (found == known.end()) {
      needs.push_back(kType | kState | kDesktop | kPid | kClass | kTitle);
    } else {
      needs.push_back(found->second.missing ? 0 : kState | kDesktop | kTitle);
    }
  }
  return needs;
}

// Completes the facts of known windows and remembers those of new ones.
void rememberStableFacts(KnownWindowMap& known, std::vector<WindowFacts>& facts) {
  KnownWindowMap kept;
  kept.reserve(facts.size());
  for (WindowFacts& f : facts) {
    const auto found = known.find(f.id);
    if (!f.exists) {
      StableFacts missing;
      missing.missing = true;
      kept.emplace(f.id, std::move(missing));
      continue;
    }
    if (found != known.end() && !found->second.missing) {
      f.types = found->second.types;
      f.localPid = found->second.localPid;
      f.netPid = found->second.netPid;
      f.className = found->second.className;
      kept.insert(*found);
    } else if (f.className && f.pid()) {
      // A window that has not named itself yet is asked again next time.
      kept.emplace(f.id, StableFacts{f.types, f.localPid, f.netPid, f.className});
    }
  }
  // A window gone from the list is forgotten at once, so a reused id is asked anew.
  known = std::move(kept);
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

}  // namespace

struct X11WindowSystem::KnownWindows {
  KnownWindowMap byWindow;
};

X11WindowSystem::X11WindowSystem(std::string displayName, std::chrono::milliseconds replyTimeout,
                                 std::int32_t ownPid)
    : displayName_(std::move(displayName)),
      replyTimeout_(replyTimeout),
      ownPid_(ownPid),
      known_(std::make_unique<KnownWindows>()) {}

X11WindowSystem::~X11WindowSystem() = default;

std::uint64_t X11WindowSystem::roundTrips() const {
  return connection_ ? connection_->roundTrips() : 0;
}

xcb::Connection* X11WindowSystem::connection() {
  if (connection_ && connection_->isBroken()) {
    connection_.reset();
  }
  if (!connection_) {
    known_->byWindow.clear();
    connection_ = xcb::Connection::open(displayName_, replyTimeout_);
  }
  return connection_.get();
}

// The managed windows, topmost first, at most kMaxWatchedWindows of them; nullopt without an
// EWMH window manager. A client can set a list of any length on the root window; asking about
// every window in it would stall each check for as long as the list stands.
std::optional<std::vector<xcb_window_t>> X11WindowSystem::watchedWindows(Connection& connection) {
  const xcb::Atoms& atoms = connection.atoms();
  const xcb_window_t root = connection.root();
  auto stackingRequest =
      requestProperty(connection, root, atoms.netClientListStacking, kMaxWindows);
  auto clientsRequest = requestProperty(connection, root, atoms.netClientList, kMaxWindows);
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

// Runs one operation. A connection that broke during it is replaced and the operation tried once
// more, so that a server that came back since the last call is used at once; a server that does
// not answer in time makes the operation fail but keeps the connection.
template <typename Result, typename Operation>
Result X11WindowSystem::attempt(Result failed, Operation operation) {
  for (int tries = 0; tries < 2; ++tries) {
    xcb::Connection* current = connection();
    if (current == nullptr) {
      return failed;
    }
    if (!current->beginOperation()) {
      return failed;
    }
    Result result = operation(*current);
    if (!current->isBroken()) {
      return current->timedOut() ? failed : result;
    }
    connection_.reset();
  }
  return failed;
}

std::optional<std::vector<WindowEntry>> X11WindowSystem::onScreenWindowEntries() {
  using Entries = std::optional<std::vector<WindowEntry>>;
  return attempt(Entries(), [this](Connection& connection) -> Entries {
    const xcb::Atoms& atoms = connection.atoms();
    auto desktopRequest = requestCurrentDesktop(connection);
    const auto windows = watchedWindows(connection);
    const auto currentDesktop = readCurrentDesktop(desktopRequest);
    if (!windows) {
      return std::nullopt;
    }
    auto facts = readWindows(connection, *windows, listingNeeds(known_->byWindow, *windows));
    rememberStableFacts(known_->byWindow, facts);
    std::vector<WindowEntry> entries;
    entries.reserve(facts.size());
    for (const WindowFacts& f : facts) {
      if (!shownNow(f, atoms, currentDesktop) || (ownPid_ != 0 && f.pid() == ownPid_)) {
        continue;
      }
      WindowEntry entry;
      entry.layer = xcb::windowLayer(f.types, atoms);
      entry.number = std::int64_t{f.id};
      if (const auto pid = f.pid()) {
        entry.ownerPID = std::int64_t{*pid};
      }
      if (f.className) {
        entry.ownerName = *f.className;
      } else if (const auto pid = f.pid();
                 pid && (f.localPid || !connection.hasResourceExtension())) {
        // Only a process known to run here may be named after its local process.
        if (auto name = processName(*pid)) {
          entry.ownerName = std::move(*name);
        }
      }
      if (f.title) {
        entry.name = *f.title;
      }
      entries.push_back(std::move(entry));
    }
    return entries;
  });
}

bool X11WindowSystem::hideApplication(std::int32_t pid) {
  if (pid <= 0 || pid == ownPid_) {
    return false;
  }
  return attempt(false, [this, pid](Connection& connection) {
    auto desktopRequest = requestCurrentDesktop(connection);
    const auto windows = watchedWindows(connection);
    const auto currentDesktop = readCurrentDesktop(desktopRequest);
    if (!windows) {
      return false;
    }
    const xcb::Atoms& atoms = connection.atoms();
    const bool trustClaims = !connection.hasResourceExtension();
    bool owns = false;
    std::vector<xcb_window_t> listed;
    for (const WindowFacts& f :
         readWindows(connection, *windows, kPid | kType | kState | kDesktop)) {
      // The server knows which local client made a window; without X-Resource the client's
      // own claim has to do, checked against the running processes.
      const auto owner = trustClaims ? f.netPid : f.localPid;
      if (!f.exists || owner != pid) {
        continue;
      }
      owns = true;
      // Only what the listing counts: never the desktop, a dock, a menu or a notification that
      // the same process draws.
      if (shownNow(f, atoms, currentDesktop) && isApplicationWindow(f, atoms)) {
        listed.push_back(f.id);
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
  return attempt(Windows(), [this, pid](Connection& connection) -> Windows {
    auto desktopRequest = requestCurrentDesktop(connection);
    const auto windows = watchedWindows(connection);
    const auto currentDesktop = readCurrentDesktop(desktopRequest);
    if (!windows) {
      return std::nullopt;
    }
    const xcb::Atoms& atoms = connection.atoms();
    std::vector<AccessibleWindow> result;
    for (const WindowFacts& f :
         readWindows(connection, *windows, kPid | kType | kDesktop | kTitle | kState | kWmState)) {
      // Minimized ones too, but only of the kinds the listing counts.
      if (!f.exists || f.netPid != pid || !isApplicationWindow(f, atoms) || !inTaskBar(f, atoms) ||
          !onDesktop(f, currentDesktop)) {
        continue;
      }
      AccessibleWindow window;
      window.handle = f.id;
      window.title = f.title;
      if (f.states || f.iconic) {
        window.minimized = contains(f.states, atoms.netWmStateHidden) || f.iconic.value_or(false);
      }
      result.push_back(std::move(window));
    }
    return result;
  });
}

bool X11WindowSystem::setMinimized(const AccessibleWindow& window) {
  if (window.handle == XCB_NONE || window.handle > 0xFFFFFFFFu) {
    return false;
  }
  const auto id = static_cast<xcb_window_t>(window.handle);
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
  return attempt(Pid(), [this](Connection& connection) -> Pid {
    const xcb::Atoms& atoms = connection.atoms();
    auto request = requestProperty(connection, connection.root(), atoms.netActiveWindow, 1);
    const auto active = readProperty(
        request, [](const xcb::PropertyValue& v) { return xcb::firstCard32(v, XCB_ATOM_WINDOW); });
    if (!active || *active == XCB_NONE) {
      return std::nullopt;
    }
    const auto facts = readWindows(connection, {*active}, kPid);
    const Pid pid = facts.front().exists ? facts.front().pid() : std::nullopt;
    if (ownPid_ == 0 || pid != ownPid_) {
      return pid;
    }
    // The program's own window is active (its panel, a dialog): the user's application is the
    // one the window manager raised last, below it.
    auto desktopRequest = requestCurrentDesktop(connection);
    const auto windows = watchedWindows(connection);
    const auto currentDesktop = readCurrentDesktop(desktopRequest);
    if (!windows) {
      return std::nullopt;
    }
    for (const WindowFacts& f :
         readWindows(connection, *windows, kPid | kType | kState | kDesktop)) {
      if (shownNow(f, atoms, currentDesktop) && isApplicationWindow(f, atoms) && f.pid() &&
          f.pid() != ownPid_) {
        return f.pid();
      }
    }
    return std::nullopt;
  });
}

}  // namespace dozewick
