// How Dozewick's own windows behave towards an X11 window manager, over Qt's own connection.
#include "platform/x11/x11_own_windows.h"

#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace dozewick {

namespace {

template <class Reply>
using Owned = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_connection_t* qtConnection() {
  auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (!application)
    return nullptr;
  auto* x11 = application->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  return connection && !xcb_connection_has_error(connection) ? connection : nullptr;
}

xcb_window_t rootOf(xcb_connection_t* connection) {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  return screen ? screen->root : XCB_NONE;
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
  const Owned<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(
          connection,
          xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
          nullptr),
      &std::free);
  return reply ? reply->atom : XCB_NONE;
}

std::vector<std::uint32_t> atomList(xcb_connection_t* connection, xcb_window_t window,
                                    xcb_atom_t property, xcb_atom_t type) {
  const Owned<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(
          connection, xcb_get_property(connection, 0, window, property, type, 0, 1024), nullptr),
      &std::free);
  if (!reply || reply->format != 32 || reply->type != type)
    return {};
  const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  const int length = xcb_get_property_value_length(reply.get()) / 4;
  return {values, values + length};
}

}  // namespace

void X11OwnWindows::keepOutOfTaskbars(std::uintptr_t nativeWindow) {
  xcb_connection_t* connection = qtConnection();
  if (!connection || nativeWindow == 0)
    return;
  const auto id = static_cast<xcb_window_t>(nativeWindow);
  const xcb_atom_t state = atom(connection, "_NET_WM_STATE");
  // Qt adds its own states (above, modal) to these when it maps the window.
  std::vector<std::uint32_t> states = atomList(connection, id, state, XCB_ATOM_ATOM);
  for (const char* name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
    const xcb_atom_t wanted = atom(connection, name);
    if (wanted != XCB_NONE && std::find(states.begin(), states.end(), wanted) == states.end())
      states.push_back(wanted);
  }
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                      static_cast<std::uint32_t>(states.size()), states.data());
  xcb_flush(connection);
}

std::optional<std::uint32_t> X11OwnWindows::activeWindow() {
  xcb_connection_t* connection = qtConnection();
  if (!connection)
    return std::nullopt;
  const auto values = atomList(connection, rootOf(connection),
                               atom(connection, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
  if (values.empty() || values.front() == XCB_NONE)
    return std::nullopt;
  return values.front();
}

bool X11OwnWindows::requestActivation(std::uint32_t window) {
  xcb_connection_t* connection = qtConnection();
  if (!connection || window == XCB_NONE)
    return false;
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = atom(connection, "_NET_ACTIVE_WINDOW");
  // Source 2, a pager: the user asked for it, so no focus-stealing prevention applies.
  event.data.data32[0] = 2;
  event.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(connection, 0, rootOf(connection),
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&event));
  xcb_flush(connection);
  return true;
}

void X11OwnWindows::completeLaunch(std::uintptr_t nativeWindow, const std::string& startupId) {
  xcb_connection_t* connection = qtConnection();
  if (!connection || nativeWindow == 0 || startupId.empty())
    return;
  const auto id = static_cast<xcb_window_t>(nativeWindow);
  // The window manager reads the launch's time from the id and lets the window to the front if
  // the user did nothing since (KWin, xfwm4); the message ends the busy cursor.
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atom(connection, "_NET_STARTUP_ID"),
                      atom(connection, "UTF8_STRING"), 8,
                      static_cast<std::uint32_t>(startupId.size()), startupId.data());
  std::string message = "remove: ID=";
  for (const char c : startupId) {
    if (c == ' ' || c == '"' || c == '\\')
      message += '\\';
    message += c;
  }
  message += '\0';
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 8;
  event.window = id;
  event.type = atom(connection, "_NET_STARTUP_INFO_BEGIN");
  const xcb_atom_t more = atom(connection, "_NET_STARTUP_INFO");
  for (std::size_t sent = 0; sent < message.size(); sent += 20) {
    std::memset(event.data.data8, 0, sizeof event.data.data8);
    message.copy(reinterpret_cast<char*>(event.data.data8), 20, sent);
    xcb_send_event(connection, 0, rootOf(connection), XCB_EVENT_MASK_PROPERTY_CHANGE,
                   reinterpret_cast<const char*>(&event));
    event.type = more;
  }
  xcb_flush(connection);
}

}  // namespace dozewick
