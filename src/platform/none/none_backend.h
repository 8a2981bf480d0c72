// The backend where none fits the session: no windows, and Dozewick says what it needs.
#pragma once

#include "platform/backend.h"

namespace dozewick {

// Other Wayland compositors than KWin and GNOME Shell, or no graphical session Dozewick knows:
// nothing is listed, and the windows can never be managed.
class NoneBackend final : public Backend {
 public:
  explicit NoneBackend(const BackendContext& context) : Backend(context) {}
  WindowSystem& windowSystem() override { return windows_; }
  Readiness readiness() override { return Readiness::unsupported; }
  std::string requirementKey() override { return "needs.none"; }

 private:
  class NoWindows final : public WindowSystem {
   public:
    WindowEntries onScreenWindowEntries() override { return nullptr; }
    bool hideApplication(std::int32_t) override { return false; }
    std::optional<std::vector<AccessibleWindow>> applicationWindows(std::int32_t) override;
    bool setMinimized(const AccessibleWindow&) override { return false; }
    std::optional<std::int32_t> frontmostApplicationPID() override { return std::nullopt; }
  };

  NoWindows windows_;
};

}  // namespace dozewick
