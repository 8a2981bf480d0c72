#pragma once

#include <cstdint>
#include <optional>

namespace dozewick::x11 {

// How Dozewick's own windows behave towards the window manager and the task bars, spoken over
// the X connection of Qt's own windows. Where Qt does not run on X11 these do nothing.

// A window that task bars and pagers leave out. Call it while the window is being shown (from
// its show event, before it is mapped): the window manager forgets the state of a hidden window.
bool keepOutOfTaskbars(std::uintptr_t nativeWindow);

// The window that the window manager names active, if there is one.
std::optional<std::uint32_t> activeWindow();

// Asks the window manager to activate `window` again, as a task bar does on a click.
bool requestActivation(std::uint32_t window);

}  // namespace dozewick::x11
