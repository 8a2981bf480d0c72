// Which listed windows are application windows, and how one is made to go away.
#pragma once

#include <vector>

#include "core/macos_rules.h"
#include "core/window_info.h"
#include "core/window_system.h"

namespace dozewick {

// The application windows on screen now, in the platform's order; empty when none can be read.
std::vector<WindowInfo> getVisibleWindows(WindowSystem& windows);

// The application windows among these entries.
std::vector<WindowInfo> getVisibleWindows(const std::vector<WindowEntry>& entries);

// Makes the window go away: hides its whole application, or, when no running application owns
// it, minimizes the first window of that process that carries the recorded title.
bool minimizeWindow(WindowSystem& windows, const WindowInfo& window);

}  // namespace dozewick
