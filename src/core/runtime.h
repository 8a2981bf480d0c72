// The main thread: its repeating timers and the tasks posted to it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace dozewick {

// A repeating timer on the main thread. Invalidating it stops all further firings at once and
// for good, also from inside its own firing. Dropping the last handle invalidates it too, so a
// timer can never outlive everything that could stop it.
class RepeatingTimer {
 public:
  virtual ~RepeatingTimer() = default;
  virtual void invalidate() = 0;
  virtual bool isValid() const = 0;
};

// Main-thread services: all program state lives on one thread and every callback below is
// delivered to it, one at a time. There is no other thread.
class Runtime {
 public:
  virtual ~Runtime() = default;

  // First firing one interval after scheduling, or a little later where the runtime lines timers
  // up to share wake-ups; then one per interval.
  [[nodiscard]] virtual std::shared_ptr<RepeatingTimer> scheduleRepeating(
      std::chrono::milliseconds interval, std::function<void()> onFire) = 0;

  // Runs `task` later on the main thread, never inside this call.
  virtual void post(std::function<void()> task) = 0;
};

}  // namespace dozewick
