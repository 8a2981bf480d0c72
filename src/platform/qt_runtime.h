// The main thread of the program: Qt's event loop, its timers on one grid, and posted tasks.
#pragma once

#include <QObject>
#include <chrono>
#include <memory>

#include "core/runtime.h"

namespace dozewick {

// The main thread of the program: Qt's event loop. Must be created and used on the thread that
// runs that loop.
class QtRuntime final : public Runtime {
 public:
  // Timers whose interval is a whole number of `grid` fall due on one shared grid of that step.
  explicit QtRuntime(std::chrono::milliseconds grid = std::chrono::seconds(1));
  ~QtRuntime() override;
  QtRuntime(const QtRuntime&) = delete;
  QtRuntime& operator=(const QtRuntime&) = delete;

  std::shared_ptr<RepeatingTimer> scheduleRepeating(std::chrono::milliseconds interval,
                                                    std::function<void()> onFire) override;
  void post(std::function<void()> task) override;

  class Schedule;

 private:
  std::unique_ptr<QObject> context_;  // receives queued work; its children are the timers
  std::shared_ptr<Schedule> schedule_;
};

}  // namespace dozewick
