#pragma once

#include <string_view>
#include <vector>

#include "window_info.h"
#include "window_system.h"

namespace dozewick {

// True when the window belongs to the desktop itself and is never managed. Names and titles are
// compared exactly, treating canonically equivalent Unicode strings as equal.
bool shouldExcludeApp(std::string_view appName, std::string_view title);

// The application windows on screen now, in the platform's order; empty when none can be read.
std::vector<WindowInfo> getVisibleWindows(WindowSystem& windows);

// The application windows among these entries.
std::vector<WindowInfo> getVisibleWindows(const std::vector<WindowEntry>& entries);

// Makes the window go away: hides its whole application, or, when no running application owns
// it, minimizes the first window of that process that carries the recorded title.
bool minimizeWindow(WindowSystem& windows, const WindowInfo& window);

}  // namespace dozewick
