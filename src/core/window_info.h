// One application window on screen, as the policy records it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace dozewick {

// One application window on screen at one check. Identity is the window number alone: a window
// whose title changes is still the same window.
struct WindowInfo {
  std::uint32_t windowID = 0;
  std::int32_t appPID = 0;
  std::string appName;
  std::string title;

  friend bool operator==(const WindowInfo& a, const WindowInfo& b) {
    return a.windowID == b.windowID;
  }
};

}  // namespace dozewick

template <>
struct std::hash<dozewick::WindowInfo> {
  std::size_t operator()(const dozewick::WindowInfo& window) const noexcept {
    return std::hash<std::uint32_t>{}(window.windowID);
  }
};
