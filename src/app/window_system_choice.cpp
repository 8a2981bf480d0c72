#include "app/window_system_choice.h"

#include <algorithm>
#include <cctype>

namespace dozewick {

namespace {

std::string lower(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

bool isSet(const char* value) {
  return value != nullptr && *value != '\0';
}

// XDG_CURRENT_DESKTOP is a colon-separated list, e.g. "KDE" or "ubuntu:GNOME".
bool desktopIs(const char* list, std::string_view name) {
  if (!isSet(list)) {
    return false;
  }
  std::string_view rest(list);
  while (!rest.empty()) {
    const auto colon = rest.find(':');
    if (lower(rest.substr(0, colon)) == name) {
      return true;
    }
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
  }
  return false;
}

constexpr std::string_view kOption = "--window-system";

}  // namespace

std::optional<std::optional<WindowSystemKind>> parseWindowSystem(std::string_view value) {
  const std::string name = lower(value);
  if (name.empty() || name == "auto") {
    // Built in place: GCC 12 at -O2 takes a copied empty value for an uninitialised one.
    return std::optional<std::optional<WindowSystemKind>>(std::in_place);
  }
  for (const auto kind : {WindowSystemKind::x11, WindowSystemKind::kwin, WindowSystemKind::gnome,
                          WindowSystemKind::none}) {
    if (name == windowSystemName(kind)) {
      return std::optional<WindowSystemKind>(kind);
    }
  }
  return std::nullopt;
}

std::string_view windowSystemName(WindowSystemKind kind) {
  switch (kind) {
    case WindowSystemKind::x11:
      return "x11";
    case WindowSystemKind::kwin:
      return "kwin";
    case WindowSystemKind::gnome:
      return "gnome";
    case WindowSystemKind::none:
      break;
  }
  return "none";
}

WindowSystemKind detectWindowSystem(const std::function<const char*(const char*)>& variable) {
  const char* sessionType = variable("XDG_SESSION_TYPE");
  const std::string type = isSet(sessionType) ? lower(sessionType) : std::string();
  const bool wayland = type == "wayland" || (type.empty() && isSet(variable("WAYLAND_DISPLAY")));
  if (wayland) {
    const char* desktop = variable("XDG_CURRENT_DESKTOP");
    if (desktopIs(desktop, "kde")) {
      return WindowSystemKind::kwin;
    }
    if (desktopIs(desktop, "gnome")) {
      return WindowSystemKind::gnome;
    }
    return WindowSystemKind::none;
  }
  if (type == "x11" || isSet(variable("DISPLAY"))) {
    return WindowSystemKind::x11;
  }
  return WindowSystemKind::none;
}

StartOptions parseStartOptions(const std::vector<std::string>& arguments,
                               const char* forcedByEnvironment) {
  StartOptions options;
  const auto take = [&options](std::string_view value, std::string_view source) {
    const auto kind = parseWindowSystem(value);
    if (!kind) {
      options.error = std::string(source) + ": unknown window system \"" + std::string(value) +
                      "\" (use x11, kwin, gnome, none or auto)";
      return;
    }
    options.windowSystem = *kind;
  };
  if (isSet(forcedByEnvironment)) {
    take(forcedByEnvironment, kWindowSystemVariable);
  }
  for (std::size_t i = 0; i < arguments.size() && options.error.empty(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == kOption) {
      if (i + 1 == arguments.size()) {
        options.error = std::string(kOption) + " needs a value (x11, kwin, gnome, none or auto)";
      } else {
        options.windowSystem.reset();
        take(arguments[++i], kOption);
      }
    } else if (argument.starts_with(std::string(kOption) + "=")) {
      options.windowSystem.reset();
      take(argument.substr(kOption.size() + 1), kOption);
    } else if (argument.starts_with("--window")) {
      options.error = "unknown option " + std::string(argument) + " (see --help)";
    }
  }
  return options;
}

std::string startUsage(std::string_view program) {
  return "Usage: " + std::string(program) +
         " [--window-system x11|kwin|gnome|none|auto] [--help]\n"
         "Keeps the screen free of windows nobody uses; lives in the system tray.\n\n"
         "  --window-system NAME  how to reach the desktop's windows, instead of detecting it:\n"
         "                        x11   an X11 session with an EWMH window manager\n"
         "                        kwin  KDE Plasma on Wayland, through a KWin script\n"
         "                        gnome GNOME on Wayland, through Dozewick's shell extension\n"
         "                        none  manage no windows\n"
         "                        auto  detect from the session (the default)\n"
         "                        The variable " +
         std::string(kWindowSystemVariable) +
         " does the same; the option wins.\n"
         "  -h, --help            show this text\n\n"
         "An unknown value ends the program with exit status 2.\n";
}

}  // namespace dozewick
