// An X client for the tests: opens windows exactly as told and changes them on command, so that a
// test knows what the window system must list. Reads one command a line on standard input and
// answers one line on standard output: "ok [values]" or "error <reason>". Fields are separated by
// tabs; in a field, \xHH stands for that byte.
//
//   open [title=T] [wmname=T] [class=instance,Class] [pid=self|none|N]
//        [type=NORMAL,DIALOG,...] [state=SKIP_TASKBAR,...] [desktop=N]
//        [wait=viewable|managed|focused|none]
//                                -> ok <window id>   (waits until the window manager shows it)
//   many <count> <title prefix>  -> ok <first id> ... <last id>
//   title <id> <text> [times]    sets _NET_WM_NAME (that many times over)
//   map | unmap <id>
//   setprop <id|root> <property> <type> <format> <hex bytes>   any property, also a malformed one
//   delprop <id> <property>
//   desktop <id> <n>             moves the window to desktop n (0xFFFFFFFF: all desktops)
//   current-desktop <n>          switches the desktop
//   iconify <id>                 -> ok once the window manager iconified it
//   wait-iconic <id>             -> ok once someone had it iconified
//   activate <id>                -> ok once it is the active window
//   state <id>                   -> ok <viewable|unviewable> <normal|iconic|withdrawn|none>
//   destroy <id>
//   close                        destroys all its windows; ok once the window manager let go
//   grab | ungrab                the server, for everyone else
//   wm-ready                     -> ok once a window manager runs and manages windows
//   click <x> <y> [button]       a real click through XTest, of the left button unless told
//   shown <pid> [except id]      -> ok <the viewable managed window of that process, or 0>
//   active                       -> ok <the active window, or 0>
//   atom <name>                  -> ok <its number>
//   prop <id> <property>         -> ok <its 32-bit values, space separated>
//   tray-icon <pid>              -> ok <x y w h of its window inside another client's> | ok none
//   geometry <id>                -> ok <x y w h on the root window>
//   quit
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct FreeDeleter {
  void operator()(void* memory) const noexcept { std::free(memory); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

constexpr auto kWaitLimit = std::chrono::seconds(10);
constexpr std::uint32_t kIconicState = 3;

xcb_connection_t* connection = nullptr;
xcb_window_t root = XCB_NONE;
std::map<std::string, xcb_atom_t> atomCache;
std::vector<xcb_window_t> created;

xcb_atom_t atom(const std::string& name) {
  if (auto found = atomCache.find(name); found != atomCache.end()) {
    return found->second;
  }
  Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      connection,
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
      nullptr));
  const xcb_atom_t value = reply ? reply->atom : XCB_NONE;
  atomCache[name] = value;
  return value;
}

std::string unescape(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field.compare(i, 2, "\\x") == 0 && i + 3 < field.size()) {
      out.push_back(static_cast<char>(std::stoi(field.substr(i + 2, 2), nullptr, 16)));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream stream(text);
  while (std::getline(stream, part, separator)) {
    parts.push_back(part);
  }
  return parts;
}

std::string hexBytes(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

void setProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, std::uint8_t format,
                 const void* data, std::size_t bytes) {
  const std::size_t unit = format / 8;
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, property, type, format,
                      static_cast<std::uint32_t>(bytes / unit), data);
}

void setText(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, const std::string& text) {
  setProperty(window, property, type, 8, text.data(), text.size());
}

void setCardinal(xcb_window_t window, const std::string& property, std::uint32_t value) {
  setProperty(window, atom(property), XCB_ATOM_CARDINAL, 32, &value, 4);
}

void roundTrip() {
  Owned<xcb_get_input_focus_reply_t> reply(
      xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

std::optional<std::vector<std::uint32_t>> card32Property(xcb_window_t window,
                                                         const std::string& name) {
  Owned<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      connection,
      xcb_get_property(connection, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 16),
      nullptr));
  if (!reply || reply->type == XCB_NONE || reply->format != 32) {
    return std::nullopt;
  }
  const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  return std::vector<std::uint32_t>(values,
                                    values + xcb_get_property_value_length(reply.get()) / 4);
}

bool viewable(xcb_window_t window) {
  Owned<xcb_get_window_attributes_reply_t> reply(xcb_get_window_attributes_reply(
      connection, xcb_get_window_attributes(connection, window), nullptr));
  return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

std::optional<std::uint32_t> wmState(xcb_window_t window) {
  const auto state = card32Property(window, "WM_STATE");
  if (!state || state->empty()) {
    return std::nullopt;
  }
  return state->front();
}

// In the client list: xfwm4 leaves a window out of the stacking list until something is
// restacked.
bool managed(xcb_window_t window) {
  const auto clients = card32Property(root, "_NET_CLIENT_LIST");
  if (!clients) {
    return false;
  }
  return std::find(clients->begin(), clients->end(), window) != clients->end();
}

// Active for the window manager and holding the server's input focus.
bool focused(xcb_window_t window) {
  const auto active = card32Property(root, "_NET_ACTIVE_WINDOW");
  Owned<xcb_get_input_focus_reply_t> focus(
      xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
  return active && !active->empty() && active->front() == window && focus && focus->focus == window;
}

// Checks the condition again after every event, until it holds or time runs out.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = kWaitLimit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) {
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || xcb_connection_has_error(connection)) {
      return false;
    }
    xcb_flush(connection);
    Owned<xcb_generic_event_t> event(xcb_poll_for_event(connection));
    if (!event) {
      // Some changes reach no window of ours as an event (a frame mapped by the window
      // manager), so look again now and then as well.
      pollfd descriptor{xcb_get_file_descriptor(connection), POLLIN, 0};
      poll(&descriptor, 1, static_cast<int>(std::min<long>(left.count(), 50)));
    }
    while (Owned<xcb_generic_event_t> more{xcb_poll_for_event(connection)}) {
    }
  }
}

void sendToRoot(xcb_window_t window, const std::string& type, std::uint32_t d0,
                std::uint32_t d1 = 0, std::uint32_t d2 = 0) {
  xcb_client_message_event_t event;
  std::memset(&event, 0, sizeof event);
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = atom(type);
  event.data.data32[0] = d0;
  event.data.data32[1] = d1;
  event.data.data32[2] = d2;
  xcb_send_event(connection, 0, root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&event));
  xcb_flush(connection);
}

std::string geometry(xcb_window_t window) {
  Owned<xcb_get_geometry_reply_t> size(
      xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
  Owned<xcb_translate_coordinates_reply_t> at(xcb_translate_coordinates_reply(
      connection, xcb_translate_coordinates(connection, window, root, 0, 0), nullptr));
  if (!size || !at) {
    return "0 0 0 0";
  }
  return std::to_string(at->dst_x) + " " + std::to_string(at->dst_y) + " " +
         std::to_string(size->width) + " " + std::to_string(size->height);
}

// The window and every window inside it.
std::vector<xcb_window_t> descendants(xcb_window_t window) {
  std::vector<xcb_window_t> all{window};
  for (std::size_t i = 0; i < all.size(); ++i) {
    Owned<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, all[i]), nullptr));
    if (tree) {
      const xcb_window_t* children = xcb_query_tree_children(tree.get());
      all.insert(all.end(), children, children + xcb_query_tree_children_length(tree.get()));
    }
  }
  return all;
}

// Creates and maps a window with the properties that the options ("key=value", as for "open")
// give it, and says in `wait` how "open" waits for it to be shown.
xcb_window_t createWindow(const std::vector<std::string>& options, std::string& wait) {
  const xcb_window_t window = xcb_generate_id(connection);
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY |
                                                           XCB_EVENT_MASK_PROPERTY_CHANGE |
                                                           XCB_EVENT_MASK_VISIBILITY_CHANGE};
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, root, 0, 0, 160, 120, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
  created.push_back(window);
  bool ownPid = true;
  for (const std::string& option : options) {
    const std::size_t equals = option.find('=');
    const std::string key = option.substr(0, equals);
    const std::string value = unescape(option.substr(equals + 1));
    if (key == "title") {
      setText(window, atom("_NET_WM_NAME"), atom("UTF8_STRING"), value);
    } else if (key == "wmname") {
      setText(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, value);
    } else if (key == "class") {
      const std::size_t comma = value.find(',');
      setText(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
              value.substr(0, comma) + '\0' + value.substr(comma + 1) + '\0');
    } else if (key == "pid") {
      ownPid = value == "self";
      if (!ownPid && value != "none") {
        setCardinal(window, "_NET_WM_PID", static_cast<std::uint32_t>(std::stoul(value)));
      }
    } else if (key == "type" || key == "state") {
      const std::string property = key == "type" ? "_NET_WM_WINDOW_TYPE" : "_NET_WM_STATE";
      std::vector<xcb_atom_t> atoms;
      for (const std::string& name : split(value, ',')) {
        atoms.push_back(atom(property + "_" + name));
      }
      setProperty(window, atom(property), XCB_ATOM_ATOM, 32, atoms.data(), atoms.size() * 4);
    } else if (key == "desktop") {
      setCardinal(window, "_NET_WM_DESKTOP",
                  static_cast<std::uint32_t>(std::stoul(value, nullptr, 0)));
    } else if (key == "wait") {
      wait = value;
    } else {
      throw std::runtime_error("unknown option " + key);
    }
  }
  if (ownPid) {
    setCardinal(window, "_NET_WM_PID", static_cast<std::uint32_t>(getpid()));
  }
  xcb_map_window(connection, window);
  xcb_flush(connection);
  return window;
}

// "viewable normal", "unviewable iconic", ...: what the map state and WM_STATE say.
std::string stateOf(xcb_window_t window) {
  const auto state = wmState(window);
  const char* name = !state                   ? "none"
                     : *state == 1            ? "normal"
                     : *state == kIconicState ? "iconic"
                                              : "withdrawn";
  return (viewable(window) ? "viewable " : "unviewable ") + std::string(name);
}

std::string describe(xcb_window_t window) {
  return (managed(window) ? "managed, " : "not managed, ") + stateOf(window);
}

bool waitShown(xcb_window_t window, const std::string& how) {
  if (how == "none") {
    roundTrip();
    return true;
  }
  if (how == "managed") {
    return waitUntil([&] { return managed(window); });
  }
  if (how == "focused") {
    // A window manager that focuses new windows does so a moment after it shows them.
    return waitUntil([&] { return managed(window) && viewable(window) && focused(window); });
  }
  return waitUntil([&] { return managed(window) && viewable(window); });
}

std::string handle(const std::vector<std::string>& words) {
  const std::string& verb = words.at(0);
  auto windowArg = [&](std::size_t index) {
    return words.at(index) == "root" ? root
                                     : static_cast<xcb_window_t>(std::stoul(words.at(index)));
  };
  if (verb == "open") {
    std::string wait = "viewable";
    const xcb_window_t window = createWindow({words.begin() + 1, words.end()}, wait);
    if (!waitShown(window, wait)) {
      return "error timeout: " + describe(window);
    }
    return "ok " + std::to_string(window);
  }
  if (verb == "many") {
    std::string wait = "viewable";
    std::vector<xcb_window_t> windows;
    for (int i = 0; i < std::stoi(words.at(1)); ++i) {
      windows.push_back(createWindow(
          {"title=" + words.at(2) + " " + std::to_string(i), "class=many,Many"}, wait));
    }
    std::string reply = "ok";
    for (const xcb_window_t window : windows) {
      if (!waitShown(window, wait)) {
        return "error timeout";
      }
      reply += " " + std::to_string(window);
    }
    return reply;
  }
  if (verb == "title") {
    // With a count, the title is set that many times over: a burst of events.
    const int times = words.size() > 3 ? std::stoi(words[3]) : 1;
    for (int i = 0; i < times; ++i) {
      setText(windowArg(1), atom("_NET_WM_NAME"), atom("UTF8_STRING"), unescape(words.at(2)));
    }
    roundTrip();
    return "ok";
  }
  if (verb == "map") {
    xcb_map_window(connection, windowArg(1));
    return waitShown(windowArg(1), "managed") ? "ok" : "error timeout: " + describe(windowArg(1));
  }
  if (verb == "setprop") {
    const std::string bytes = hexBytes(words.size() > 5 ? words[5] : "");
    const auto format = static_cast<std::uint8_t>(std::stoi(words.at(4)));
    setProperty(windowArg(1), atom(words.at(2)), atom(words.at(3)), format, bytes.data(),
                bytes.size());
    roundTrip();
    return "ok";
  }
  // Requests that need no more than the server's having handled them.
  if (verb == "unmap" || verb == "delprop" || verb == "destroy" || verb == "grab" ||
      verb == "ungrab") {
    if (verb == "unmap") {
      xcb_unmap_window(connection, windowArg(1));
    } else if (verb == "delprop") {
      xcb_delete_property(connection, windowArg(1), atom(words.at(2)));
    } else if (verb == "destroy") {
      xcb_destroy_window(connection, windowArg(1));
    } else if (verb == "grab") {
      xcb_grab_server(connection);
    } else {
      xcb_ungrab_server(connection);
    }
    roundTrip();
    return "ok";
  }
  if (verb == "desktop" || verb == "current-desktop") {
    const bool ofWindow = verb == "desktop";
    const xcb_window_t target = ofWindow ? windowArg(1) : root;
    const std::string property = ofWindow ? "_NET_WM_DESKTOP" : "_NET_CURRENT_DESKTOP";
    const auto desktop =
        static_cast<std::uint32_t>(std::stoul(words.at(ofWindow ? 2 : 1), nullptr, 0));
    sendToRoot(target, property, desktop, ofWindow ? 2 : 0);
    const bool moved = waitUntil([&] {
      const auto value = card32Property(target, property);
      return value && !value->empty() && value->front() == desktop;
    });
    return moved ? "ok" : "error timeout";
  }
  if (verb == "iconify" || verb == "wait-iconic") {
    const xcb_window_t window = windowArg(1);
    if (verb == "iconify") {
      sendToRoot(window, "WM_CHANGE_STATE", kIconicState);
    }
    return waitUntil([&] { return wmState(window) == kIconicState; })
               ? "ok"
               : "error timeout: " + describe(window);
  }
  if (verb == "activate") {
    const xcb_window_t window = windowArg(1);
    sendToRoot(window, "_NET_ACTIVE_WINDOW", 2);
    return waitUntil([&] { return focused(window); }) ? "ok" : "error timeout";
  }
  if (verb == "state") {
    return "ok " + stateOf(windowArg(1));
  }
  if (verb == "close") {
    // Returns once the window manager has let go of every window, so that nothing it does about
    // them afterwards (such as moving the focus) reaches into the next test.
    for (const xcb_window_t window : created) {
      xcb_destroy_window(connection, window);
    }
    const bool released = waitUntil([] {
      const auto clients = card32Property(root, "_NET_CLIENT_LIST");
      return !clients || std::none_of(created.begin(), created.end(), [&](xcb_window_t w) {
        return std::find(clients->begin(), clients->end(), w) != clients->end();
      });
    });
    created.clear();
    return released ? "ok" : "error timeout";
  }
  if (verb == "wm-ready") {
    // A window manager may name its check window before it handles map requests, and drop
    // those that come too early: it is ready once a probe window of ours gets managed.
    std::string wait;
    const xcb_window_t probe = createWindow({"title=wm-ready probe"}, wait);
    created.pop_back();
    bool ready = false;
    for (int attempt = 0; !ready && attempt < 20; ++attempt) {
      ready = waitUntil([&] { return managed(probe) && viewable(probe); },
                        std::chrono::milliseconds(500));
      if (!ready) {
        xcb_unmap_window(connection, probe);
        xcb_map_window(connection, probe);
      }
    }
    xcb_destroy_window(connection, probe);
    const bool released = waitUntil([&] { return !managed(probe); });
    return ready && released ? "ok" : "error timeout";
  }
  if (verb == "click") {
    const auto x = static_cast<std::int16_t>(std::stoi(words.at(1)));
    const auto y = static_cast<std::int16_t>(std::stoi(words.at(2)));
    const auto button = static_cast<std::uint8_t>(words.size() > 3 ? std::stoi(words[3]) : 1);
    xcb_test_fake_input(connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, x, y, 0);
    xcb_test_fake_input(connection, XCB_BUTTON_PRESS, button, XCB_CURRENT_TIME, root, 0, 0, 0);
    roundTrip();
    xcb_test_fake_input(connection, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, root, 0, 0, 0);
    roundTrip();
    return "ok";
  }
  if (verb == "shown" || verb == "tray-icon") {
    const auto pid = static_cast<std::uint32_t>(std::stoul(words.at(1)));
    const auto owner = [&](xcb_window_t w) {
      const auto value = card32Property(w, "_NET_WM_PID");
      return value && !value->empty() && value->front() == pid;
    };
    for (const xcb_window_t client :
         card32Property(root, "_NET_CLIENT_LIST").value_or(std::vector<std::uint32_t>{})) {
      const bool excepted = words.size() > 2 && client == std::stoul(words.at(2));
      if (verb == "shown" && !excepted && owner(client) && viewable(client)) {
        return "ok " + std::to_string(client);
      }
      if (verb == "tray-icon" && !owner(client)) {
        for (const xcb_window_t w : descendants(client)) {
          if (owner(w) && viewable(w)) {
            return "ok " + geometry(w);
          }
        }
      }
    }
    return verb == "shown" ? "ok 0" : "ok none";
  }
  if (verb == "atom") {
    return "ok " + std::to_string(atom(words.at(1)));
  }
  if (verb == "active") {
    const auto active = card32Property(root, "_NET_ACTIVE_WINDOW");
    return "ok " + std::to_string(active && !active->empty() ? active->front() : 0);
  }
  if (verb == "prop") {
    std::string answer = "ok";
    for (const std::uint32_t value :
         card32Property(windowArg(1), words.at(2)).value_or(std::vector<std::uint32_t>{})) {
      answer += " " + std::to_string(value);
    }
    return answer;
  }
  if (verb == "geometry") {
    return "ok " + geometry(windowArg(1));
  }
  return "error unknown command " + verb;
}

}  // namespace

int main() {
  connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) {
    std::cout << "error no display" << std::endl;
    return 1;
  }
  root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
  roundTrip();
  std::cout << "ok ready" << std::endl;

  std::string line;
  while (std::getline(std::cin, line)) {
    if (line == "quit") {
      break;
    }
    std::string reply;
    try {
      reply = handle(split(line, '\t'));
    } catch (const std::exception& error) {
      reply = std::string("error ") + error.what();
    }
    if (xcb_connection_has_error(connection)) {
      reply = "error connection lost";
    }
    std::cout << reply << std::endl;
  }
  xcb_disconnect(connection);
  return 0;
}
