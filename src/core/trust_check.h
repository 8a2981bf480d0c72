// Whether the program may manage windows, answered later on the main thread.
#pragma once

#include <functional>

namespace dozewick {

// Whether the program may manage other applications' windows. The answer arrives later, on the
// main thread; by then the checker's published state is already up to date.
class TrustCheck {
 public:
  virtual ~TrustCheck() = default;
  virtual void checkPermissionAsync(std::function<void(bool granted)> done) = 0;
};

}  // namespace dozewick
