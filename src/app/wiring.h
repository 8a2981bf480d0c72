#pragma once

#include <memory>

#include "app/tray_controller.h"
#include "app/window_system_choice.h"

namespace dozewick {

// Chooses the window system for the program's services; called once, before they are built.
void selectWindowSystem(WindowSystemKind kind);

// The tray controller over the program's one instance of each service and the real desktop.
std::unique_ptr<TrayController> makeTrayController(bool trayAvailable);

}  // namespace dozewick
