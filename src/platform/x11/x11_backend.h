// The X11 backend: an X11 session with an EWMH window manager, over xcb.
#pragma once

#include <chrono>
#include <string>

#include "platform/backend.h"
#include "platform/x11/x11_desktop.h"
#include "platform/x11/x11_own_windows.h"

namespace dozewick {

class X11Backend final : public Backend {
 public:
  // An empty display name means $DISPLAY.
  explicit X11Backend(
      const BackendContext& context, std::string displayName = {},
      std::chrono::milliseconds replyTimeout = xcb::Connection::kDefaultReplyTimeout);

  WindowSystem& windowSystem() override { return desktop_.model(); }
  // Ready while an EWMH window manager runs; never in a Wayland session, whose windows the X
  // server does not see.
  Readiness readiness() override;
  // Presses anywhere on the display, through XInput 2.
  std::shared_ptr<void> watchClicks(std::function<void()> onMouseDown) override;
  OwnWindows& ownWindows() override { return ownWindows_; }
  std::string requirementKey() override;

  X11Desktop& desktop() { return desktop_; }

 private:
  X11Desktop desktop_;
  X11OwnWindows ownWindows_;
};

}  // namespace dozewick
