#pragma once

#include <memory>

#include "app/tray_controller.h"

namespace dozewick {

// The tray controller over the program's one instance of each service and the real desktop.
std::unique_ptr<TrayController> makeTrayController(bool trayAvailable);

}  // namespace dozewick
