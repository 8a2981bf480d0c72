// An X client for the tests, which opens windows exactly as told and changes them on command.
// So a test knows what the window system must list. Reads one command a line on standard input
// and answers one line on standard output: "ok [values]" or "error <reason>". Fields are
// separated by tabs; in a field, \xHH stands for that byte.
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
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "x_test_window.h"

namespace {

using namespace xtest;

// The window a command names by its number, or "root".
xcb_window_t windowArg(const std::vector<std::string>& words, std::size_t index) {
  return words.at(index) == "root" ? root : static_cast<xcb_window_t>(std::stoul(words.at(index)));
}

// Opening windows and changing them.
std::optional<std::string> windowCommand(const std::vector<std::string>& words) {
  const std::string& verb = words.at(0);
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
      setText(windowArg(words, 1), atom("_NET_WM_NAME"), atom("UTF8_STRING"),
              unescape(words.at(2)));
    }
    roundTrip();
    return "ok";
  }
  if (verb == "map") {
    xcb_map_window(connection, windowArg(words, 1));
    return waitShown(windowArg(words, 1), "managed")
               ? "ok"
               : "error timeout: " + describe(windowArg(words, 1));
  }
  if (verb == "setprop") {
    const std::string bytes = hexBytes(words.size() > 5 ? words[5] : "");
    const auto format = static_cast<std::uint8_t>(std::stoi(words.at(4)));
    setProperty(windowArg(words, 1), atom(words.at(2)), atom(words.at(3)), format, bytes.data(),
                bytes.size());
    roundTrip();
    return "ok";
  }
  // Requests that need no more than the server's having handled them.
  if (verb == "unmap" || verb == "delprop" || verb == "destroy" || verb == "grab" ||
      verb == "ungrab") {
    if (verb == "unmap") {
      xcb_unmap_window(connection, windowArg(words, 1));
    } else if (verb == "delprop") {
      xcb_delete_property(connection, windowArg(words, 1), atom(words.at(2)));
    } else if (verb == "destroy") {
      xcb_destroy_window(connection, windowArg(words, 1));
    } else if (verb == "grab") {
      xcb_grab_server(connection);
    } else {
      xcb_ungrab_server(connection);
    }
    roundTrip();
    return "ok";
  }
  return std::nullopt;
}

// What the window manager does: desktops, iconifying, the focus, closing.
std::optional<std::string> desktopCommand(const std::vector<std::string>& words) {
  const std::string& verb = words.at(0);
  if (verb == "desktop" || verb == "current-desktop") {
    const bool ofWindow = verb == "desktop";
    const xcb_window_t target = ofWindow ? windowArg(words, 1) : root;
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
    const xcb_window_t window = windowArg(words, 1);
    if (verb == "iconify") {
      sendToRoot(window, "WM_CHANGE_STATE", kIconicState);
    }
    return waitUntil([&] { return wmState(window) == kIconicState; })
               ? "ok"
               : "error timeout: " + describe(window);
  }
  if (verb == "activate") {
    const xcb_window_t window = windowArg(words, 1);
    sendToRoot(window, "_NET_ACTIVE_WINDOW", 2);
    return waitUntil([&] { return focused(window); }) ? "ok" : "error timeout";
  }
  if (verb == "state") {
    return "ok " + stateOf(windowArg(words, 1));
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
  return std::nullopt;
}

// Looking and clicking, as a user would.
std::optional<std::string> lookCommand(const std::vector<std::string>& words) {
  const std::string& verb = words.at(0);
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
         card32Property(windowArg(words, 1), words.at(2)).value_or(std::vector<std::uint32_t>{})) {
      answer += " " + std::to_string(value);
    }
    return answer;
  }
  if (verb == "geometry") {
    return "ok " + geometry(windowArg(words, 1));
  }
  return std::nullopt;
}

std::string handle(const std::vector<std::string>& words) {
  for (const auto command : {windowCommand, desktopCommand, lookCommand}) {
    if (auto reply = command(words)) {
      return *reply;
    }
  }
  return "error unknown command " + words.at(0);
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
