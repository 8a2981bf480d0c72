// The command line: which backend a start forces, --help and --version.
#include "app/window_system_choice.h"

#include <algorithm>
#include <cctype>

namespace dozewick {

namespace {

constexpr std::string_view kOption = "--window-system";

bool isSet(const char* value) {
  return value != nullptr && *value != '\0';
}

// "x11, kwin, gnome, none or auto", or with `separator` "x11|kwin|gnome|none|auto".
std::string choiceList(std::string_view separator = ", ", std::string_view last = " or ") {
  std::string list;
  for (const BackendChoice& choice : backendChoices()) {
    list += std::string(choice.name) + std::string(separator);
  }
  return list.substr(0, list.size() - separator.size()) + std::string(last) + "auto";
}

// What Qt's application, its X11 platform and its styles read from the command line (with one
// dash or two). Qt takes them out before the program sees the rest.
enum class QtValue { none, next, nextOrJoined, joined };
struct QtOption {
  std::string_view name;
  QtValue value;
};
constexpr QtOption kQtOptions[] = {
    {"platform", QtValue::next},
    {"platformpluginpath", QtValue::next},
    {"platformtheme", QtValue::next},
    {"plugin", QtValue::next},
    {"qwindowgeometry", QtValue::next},
    {"qwindowicon", QtValue::next},
    {"qwindowtitle", QtValue::next},
    {"session", QtValue::next},
    {"display", QtValue::next},
    {"name", QtValue::next},
    {"visual", QtValue::next},
    {"glxvisual", QtValue::next},
    {"geometry", QtValue::next},
    {"icon", QtValue::next},
    {"title", QtValue::next},
    {"style", QtValue::nextOrJoined},
    {"stylesheet", QtValue::nextOrJoined},
    {"qmljsdebugger", QtValue::joined},
    {"reverse", QtValue::none},
    {"testability", QtValue::none},
    {"widgetcount", QtValue::none},
    {"nograb", QtValue::none},
    {"dograb", QtValue::none},
    {"sync", QtValue::none},
};

// How many arguments a Qt option at `argument` spans (1 or 2), or 0 when it is none of Qt's.
std::size_t qtOptionLength(std::string_view argument) {
  if (!argument.starts_with('-'))
    return 0;
  argument.remove_prefix(argument.starts_with("--") ? 2 : 1);
  const auto equals = argument.find('=');
  const bool joined = equals != std::string_view::npos;
  const std::string_view name = argument.substr(0, equals);
  for (const QtOption& option : kQtOptions) {
    if (option.name != name)
      continue;
    switch (option.value) {
      case QtValue::none:
        return joined ? 0 : 1;
      case QtValue::next:
        return joined ? 0 : 2;
      case QtValue::nextOrJoined:
        return joined ? 1 : 2;
      case QtValue::joined:
        return joined ? 1 : 0;
    }
  }
  return 0;
}

}  // namespace

std::optional<std::optional<BackendKind>> parseWindowSystem(std::string_view value) {
  std::string name(value);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  // Built in place: returning a temporary empty inner optional trips GCC 12's
  // maybe-uninitialized warning in optimised builds.
  std::optional<std::optional<BackendKind>> result;
  if (name.empty() || name == "auto") {
    result.emplace();
    return result;
  }
  for (const BackendChoice& choice : backendChoices()) {
    if (name == choice.name) {
      result.emplace(choice.kind);
      return result;
    }
  }
  return result;
}

StartOptions parseStartOptions(const std::vector<std::string>& arguments,
                               const char* forcedByEnvironment) {
  StartOptions options;
  const auto take = [&options](std::string_view value, std::string_view source) {
    const auto kind = parseWindowSystem(value);
    if (!kind) {
      options.error = std::string(source) + ": unknown window system \"" + std::string(value) +
                      "\" (use " + choiceList() + ")";
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
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == kOption) {
      if (i + 1 == arguments.size()) {
        options.error = std::string(kOption) + " needs a value (" + choiceList() + ")";
      } else {
        options.windowSystem.reset();
        take(arguments[++i], kOption);
      }
    } else if (argument.starts_with(std::string(kOption) + "=")) {
      options.windowSystem.reset();
      take(argument.substr(kOption.size() + 1), kOption);
    } else if (const std::size_t length = qtOptionLength(argument)) {
      i += length - 1;
    } else if (argument.starts_with('-')) {
      options.error = "unknown option " + std::string(argument);
    } else {
      options.error = "unexpected argument \"" + std::string(argument) + "\"";
    }
  }
  return options;
}

std::string startUsage(std::string_view program) {
  const std::string indent(24, ' ');
  std::string choices;
  for (const BackendChoice& choice : backendChoices()) {
    std::string name(choice.name);
    name.resize(std::max<std::size_t>(name.size() + 1, 6), ' ');
    choices += indent + name + std::string(choice.summary) + "\n";
  }
  return "Usage: " + std::string(program) + " [--window-system " + choiceList("|", "|") +
         "] [--help] [--version]\n"
         "Keeps the screen free of windows nobody uses; lives in the system tray.\n\n"
         "  --window-system NAME  how to reach the desktop's windows, instead of detecting it:\n" +
         choices + indent + "auto  detect from the session (the default)\n" + indent +
         "The variable " + std::string(kWindowSystemVariable) +
         " does the same; the option wins.\n"
         "  -h, --help            show this text\n"
         "  --version             show the version and the licence\n"
         "Qt's own options (-platform NAME, -style NAME, ...) are taken as by any Qt program.\n\n"
         "An unknown option or value ends the program with exit status 2.\n";
}

std::string startVersion(std::string_view program) {
  const std::string version = DOZEWICK_VERSION;
  const std::string license = DOZEWICK_LICENSE;
  return std::string(program) + " " + version + "\nLicense " + license +
         ": GNU GPL version 3 or later <https://www.gnu.org/licenses/gpl.html>.\n"
         "This is free software: you are free to change and redistribute it.\n"
         "There is NO WARRANTY, to the extent permitted by law.\n";
}

}  // namespace dozewick
