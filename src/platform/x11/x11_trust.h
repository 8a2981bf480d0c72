#pragma once

#include <string>

namespace dozewick {

// Whether this program can see and manage the desktop's windows: an X display answers on
// $DISPLAY and an EWMH window manager runs there. Uses a connection of its own, so it may run
// on any thread. False in a Wayland session, whose windows the X server does not see.
bool queryX11Trust();

// The same for a given display (an empty name means $DISPLAY).
bool queryX11TrustOn(const std::string& displayName);

}  // namespace dozewick
