// How Dozewick's own windows behave towards an X11 window manager, over Qt's own connection.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/backend.h"

namespace dozewick {

// Spoken over the X connection of Qt's own windows; where Qt does not run on X11 it does nothing.
class X11OwnWindows final : public OwnWindows {
 public:
  void keepOutOfTaskbars(std::uintptr_t nativeWindow) override;
  std::optional<std::uint32_t> activeWindow() override;
  bool requestActivation(std::uint32_t window) override;
  void completeLaunch(std::uintptr_t nativeWindow, const std::string& startupId) override;
};

}  // namespace dozewick
