#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dozewick {

// The one way this program reaches the desktop's windows, chosen at start for the session.
enum class WindowSystemKind { x11, kwin, gnome, none };

// The environment variable that forces a window system, as --window-system does.
inline constexpr const char* kWindowSystemVariable = "DOZEWICK_WINDOW_SYSTEM";

// "x11", "kwin", "gnome" or "none"; "auto" and the empty text mean "detect". Anything else is
// nullopt.
std::optional<std::optional<WindowSystemKind>> parseWindowSystem(std::string_view value);
std::string_view windowSystemName(WindowSystemKind kind);

// The window system of the session described by these variables (nullptr for unset). It does
// not depend on where Qt itself draws: under XWayland an X11 backend would see only X11 clients.
WindowSystemKind detectWindowSystem(const std::function<const char*(const char*)>& variable);

// What the command line asks for.
struct StartOptions {
  std::optional<WindowSystemKind> windowSystem;  // forced; otherwise detected
  bool help = false;
  bool version = false;
  std::string error;  // set when the command line or the variable cannot be followed
};

// Reads the program's arguments (without the program name) and the forcing variable; the
// option wins over the variable. Arguments Qt itself takes (-platform, …) are left alone; any other
// argument is an error.
StartOptions parseStartOptions(const std::vector<std::string>& arguments,
                               const char* forcedByEnvironment);

// The text --help prints.
std::string startUsage(std::string_view program);

// The text --version prints: the program, its version and its licence, as the build names them.
std::string startVersion(std::string_view program);

}  // namespace dozewick
