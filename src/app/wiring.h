// Where the program's real pieces are put together: the backend chosen, and the tray controller.
#pragma once

#include <memory>

#include "app/tray_controller.h"
#include "platform/backend_factory.h"

namespace dozewick {

// Chooses the backend for the program's services; called once, before they are built.
void selectBackend(BackendKind kind);

// The tray controller over the program's one instance of each service and the real desktop.
std::unique_ptr<TrayController> makeTrayController(bool trayAvailable);

}  // namespace dozewick
