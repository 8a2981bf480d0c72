// The policy's adjustable values: the idle time, the protected places, the applications kept.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dozewick {

// What the loop applies at each check. The defaults are the fixed values of the first versions.
struct Policy {
  static constexpr double kMinIdleSeconds = 30.0;
  static constexpr double kMaxIdleSeconds = 3600.0;
  static constexpr std::size_t kMaxProtected = 10;

  double inactiveThreshold = 60.0;       // seconds without use before a window may go
  std::size_t protectedWindowCount = 3;  // the most recently used of those that stay
  // Applications whose windows never go, by the name the listing gives them (the window class).
  std::vector<std::string> neverHide;

  friend bool operator==(const Policy&, const Policy&) = default;
};

// True when the application is one the user keeps on screen. Names are compared exactly, treating
// canonically equivalent Unicode strings as equal, as the excluded names are.
bool isNeverHidden(std::string_view appName, const std::vector<std::string>& neverHide);

}  // namespace dozewick
