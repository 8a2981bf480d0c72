// The rules the description carries over from macOS: the system's own processes and menu bars.
//
// No Linux desktop has a process of these names or a window of these titles: the desktops' own
// windows are left out by their type instead (docks, panels, menus). The rules stay because the
// description requires them, exactly as written, and they cost one comparison of a name that is
// almost always plain ASCII.
#include "core/macos_rules.h"

#include <array>

#include "core/unicode.h"

namespace dozewick {

namespace {

constexpr std::array<std::string_view, 5> kExcludedAppNames = {"Window Server", "SystemUIServer",
                                                               "Dock", "loginwindow", "spotlight"};

}  // namespace

bool shouldExcludeApp(std::string_view appName, std::string_view title) {
  for (const auto name : kExcludedAppNames) {
    if (canonicallyEqual(appName, name))
      return true;
  }
  // Finder's desktop is an untitled window of Finder.
  if (canonicallyEqual(appName, "Finder") && title.empty())
    return true;
  return canonicallyEqual(title, "菜单栏") || canonicallyEqual(title, "Menubar");
}

}  // namespace dozewick
