// The X11 backend: an X11 session with an EWMH window manager, over xcb.
#include "platform/x11/x11_backend.h"

#include <strings.h>

#include <cstdlib>
#include <iostream>

#include "platform/x11/x11_pointer_monitor.h"

namespace dozewick {

namespace {

bool isWaylandSession() {
  const char* session = std::getenv("XDG_SESSION_TYPE");
  return session != nullptr && ::strcasecmp(session, "wayland") == 0;
}

}  // namespace

X11Backend::X11Backend(const BackendContext& context, std::string displayName,
                       std::chrono::milliseconds replyTimeout)
    : Backend(context),
      desktop_(std::move(displayName), replyTimeout, context.ownPid,
               context.diagnostics ? *context.diagnostics : std::cerr) {}

Readiness X11Backend::readiness() {
  if (isWaylandSession()) {
    return Readiness::unsupported;
  }
  // Answered from the events: no request unless the window manager changed.
  if (!desktop_.windowManagerRuns())
    return Readiness::notAnswering;
  return desktop_.model().keepsEveryWindow() ? Readiness::keepsWindows : Readiness::ready;
}

std::string X11Backend::requirementKey() {
  return isWaylandSession() ? "needs.x11.wayland" : "needs.x11";
}

std::shared_ptr<void> X11Backend::watchClicks(std::function<void()> onMouseDown) {
  return X11PointerMonitor::create([onMouseDown = std::move(onMouseDown)](int) { onMouseDown(); });
}

}  // namespace dozewick
