// The command line: which backend a start forces, --help and --version.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/backend_factory.h"

namespace dozewick {

// The environment variable that forces a window system, as --window-system does.
inline constexpr const char* kWindowSystemVariable = "DOZEWICK_WINDOW_SYSTEM";

// A backend's name, in any case; "auto" and the empty text mean "detect". Anything else is
// nullopt.
std::optional<std::optional<BackendKind>> parseWindowSystem(std::string_view value);

// What the command line asks for.
struct StartOptions {
  std::optional<BackendKind> windowSystem;  // forced; otherwise detected
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
