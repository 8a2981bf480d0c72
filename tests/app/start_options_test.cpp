// Choosing the backend at start: from the session, the option and the forcing variable.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/window_system_choice.h"

namespace dozewick {
namespace {

using Kind = BackendKind;

TEST(WindowSystemChoice, DetectsTheSessionNotWhereQtDraws) {
  struct Case {
    std::map<std::string, std::string> variables;
    Kind expected;
  };
  const Case cases[] = {
      {{{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}}, Kind::x11},
      {{{"DISPLAY", ":0"}}, Kind::x11},
      // Plasma on Wayland runs XWayland too: its DISPLAY must not win.
      {{{"XDG_SESSION_TYPE", "wayland"},
        {"DISPLAY", ":1"},
        {"WAYLAND_DISPLAY", "wayland-0"},
        {"XDG_CURRENT_DESKTOP", "KDE"}},
       Kind::kwin},
      {{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":1"}, {"XDG_CURRENT_DESKTOP", "kde"}},
       Kind::kwin},
      {{{"XDG_SESSION_TYPE", "wayland"}, {"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}}, Kind::gnome},
      {{{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}, {"XDG_CURRENT_DESKTOP", "GNOME"}},
       Kind::x11},
      {{{"XDG_SESSION_TYPE", "wayland"}, {"XDG_CURRENT_DESKTOP", "KDEX"}}, Kind::none},
      {{{"XDG_SESSION_TYPE", "tty"}}, Kind::none},
      {{}, Kind::none},
  };
  for (const Case& c : cases) {
    const auto variable = [&](const char* name) -> const char* {
      const auto found = c.variables.find(name);
      return found == c.variables.end() ? nullptr : found->second.c_str();
    };
    EXPECT_EQ(detectBackend(variable), c.expected) << "case " << &c - cases;
  }
}

TEST(WindowSystemChoice, TheOptionWinsOverTheVariableAndUnknownValuesAreErrors) {
  struct Case {
    std::vector<std::string> arguments;
    const char* variable;
    std::optional<Kind> expected;
    bool error;
    bool help;
  };
  const Case cases[] = {
      {{}, nullptr, std::nullopt, false, false},
      {{"--window-system", "kwin"}, nullptr, Kind::kwin, false, false},
      {{"--window-system=X11"}, "kwin", Kind::x11, false, false},
      {{}, "kwin", Kind::kwin, false, false},
      {{"--window-system=auto"}, "kwin", std::nullopt, false, false},
      {{"--window-system", "GNOME"}, "kwin", Kind::gnome, false, false},
      {{"-platform", "wayland", "--help"}, nullptr, std::nullopt, false, true},
      {{"--window-system=gnome-ish"}, nullptr, std::nullopt, true, false},
      {{}, "wayland", std::nullopt, true, false},
      {{"--window-system"}, nullptr, std::nullopt, true, false},
      {{"--windowsystem=x11"}, nullptr, std::nullopt, true, false},
      // Anything neither this program's nor Qt's is refused rather than ignored.
      {{"--verison"}, nullptr, std::nullopt, true, false},
      {{"-v"}, nullptr, std::nullopt, true, false},
      {{"--window-system=x11", "now"}, nullptr, std::nullopt, true, false},
      {{"--"}, nullptr, std::nullopt, true, false},
      // Qt's options, with one dash or two; a value that follows one is Qt's too.
      {{"--platform", "offscreen", "--window-system", "kwin"}, nullptr, Kind::kwin, false, false},
      {{"--display", ":1", "-style=fusion", "-reverse", "-session", "x_1"},
       nullptr,
       std::nullopt,
       false,
       false},
      {{"-qmljsdebugger=port:3768", "--stylesheet", "a.qss", "-title", "t"},
       nullptr,
       std::nullopt,
       false,
       false},
      // ...but only in the forms Qt reads.
      {{"-reverse=yes"}, nullptr, std::nullopt, true, false},
      {{"-platform=xcb"}, nullptr, std::nullopt, true, false},
      {{"-qmljsdebugger", "port:3768"}, nullptr, std::nullopt, true, false},
  };
  for (const Case& c : cases) {
    const StartOptions options = parseStartOptions(c.arguments, c.variable);
    const std::string what = c.arguments.empty() ? "(none)" : c.arguments.front();
    if (!c.error) {
      EXPECT_EQ(options.windowSystem, c.expected) << what;
    }
    EXPECT_EQ(!options.error.empty(), c.error) << what << ": " << options.error;
    EXPECT_EQ(options.help, c.help) << what;
  }
  // Every backend is offered by its name.
  const std::string usage = startUsage("dozewick");
  for (const BackendChoice& choice : backendChoices())
    EXPECT_NE(usage.find(" " + std::string(choice.name) + " "), std::string::npos) << usage;

  // --version answers without starting, whatever else the command line forces.
  const StartOptions version = parseStartOptions({"--window-system=x11", "--version"}, "kwin");
  EXPECT_TRUE(version.version);
  EXPECT_FALSE(version.help);
  EXPECT_TRUE(version.error.empty()) << version.error;
}

}  // namespace
}  // namespace dozewick
