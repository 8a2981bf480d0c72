// The rules the description carries over from macOS: the system's own processes and menu bars.
#pragma once

#include <string_view>

namespace dozewick {

// True when the window belongs to the desktop itself and is never managed. Names and titles are
// compared exactly, treating canonically equivalent Unicode strings as equal.
bool shouldExcludeApp(std::string_view appName, std::string_view title);

}  // namespace dozewick
