// The X test client's means: connection, atoms, properties, windows, waits (xcb alone).
#pragma once

#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace xtest {

struct FreeDeleter {
  void operator()(void* memory) const noexcept { std::free(memory); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

inline constexpr auto kWaitLimit = std::chrono::seconds(10);
inline constexpr std::uint32_t kIconicState = 3;

inline xcb_connection_t* connection = nullptr;
inline xcb_window_t root = XCB_NONE;
inline std::vector<xcb_window_t> created;  // the client's own windows
inline std::map<std::string, xcb_atom_t> atomCache;

inline xcb_atom_t atom(const std::string& name) {
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

inline std::string unescape(const std::string& field) {
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

inline std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream stream(text);
  while (std::getline(stream, part, separator)) {
    parts.push_back(part);
  }
  return parts;
}

inline std::string hexBytes(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

inline void setProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                        std::uint8_t format, const void* data, std::size_t bytes) {
  const std::size_t unit = format / 8;
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, property, type, format,
                      static_cast<std::uint32_t>(bytes / unit), data);
}

inline void setText(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                    const std::string& text) {
  setProperty(window, property, type, 8, text.data(), text.size());
}

inline void setCardinal(xcb_window_t window, const std::string& property, std::uint32_t value) {
  setProperty(window, atom(property), XCB_ATOM_CARDINAL, 32, &value, 4);
}

inline void roundTrip() {
  Owned<xcb_get_input_focus_reply_t> reply(
      xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

inline std::optional<std::vector<std::uint32_t>> card32Property(xcb_window_t window,
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

inline bool viewable(xcb_window_t window) {
  Owned<xcb_get_window_attributes_reply_t> reply(xcb_get_window_attributes_reply(
      connection, xcb_get_window_attributes(connection, window), nullptr));
  return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

inline std::optional<std::uint32_t> wmState(xcb_window_t window) {
  const auto state = card32Property(window, "WM_STATE");
  if (!state || state->empty()) {
    return std::nullopt;
  }
  return state->front();
}

// In the client list: xfwm4 leaves a window out of the stacking list until something is
// restacked.
inline bool managed(xcb_window_t window) {
  const auto clients = card32Property(root, "_NET_CLIENT_LIST");
  if (!clients) {
    return false;
  }
  return std::find(clients->begin(), clients->end(), window) != clients->end();
}

// Active for the window manager and holding the server's input focus.
inline bool focused(xcb_window_t window) {
  const auto active = card32Property(root, "_NET_ACTIVE_WINDOW");
  Owned<xcb_get_input_focus_reply_t> focus(
      xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
  return active && !active->empty() && active->front() == window && focus && focus->focus == window;
}

// Checks the condition again after every event, until it holds or time runs out.
inline bool waitUntil(const std::function<bool()>& condition,
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

inline void sendToRoot(xcb_window_t window, const std::string& type, std::uint32_t d0,
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

inline std::string geometry(xcb_window_t window) {
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
inline std::vector<xcb_window_t> descendants(xcb_window_t window) {
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
inline xcb_window_t createWindow(const std::vector<std::string>& options, std::string& wait) {
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
inline std::string stateOf(xcb_window_t window) {
  const auto state = wmState(window);
  const char* name = !state                   ? "none"
                     : *state == 1            ? "normal"
                     : *state == kIconicState ? "iconic"
                                              : "withdrawn";
  return (viewable(window) ? "viewable " : "unviewable ") + std::string(name);
}

inline std::string describe(xcb_window_t window) {
  return (managed(window) ? "managed, " : "not managed, ") + stateOf(window);
}

inline bool waitShown(xcb_window_t window, const std::string& how) {
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

}  // namespace xtest
