#pragma once

#include <QObject>
#include <QThreadPool>
#include <memory>

#include "core/runtime.h"

namespace dozewick {

// The main thread of the program: Qt's event loop. Must be created and used on the thread that
// runs that loop.
class QtRuntime final : public Runtime {
 public:
  QtRuntime();
  ~QtRuntime() override;
  QtRuntime(const QtRuntime&) = delete;
  QtRuntime& operator=(const QtRuntime&) = delete;

  std::shared_ptr<RepeatingTimer> scheduleRepeating(std::chrono::milliseconds interval,
                                                    std::function<void()> onFire) override;
  void post(std::function<void()> task) override;
  void runInBackground(std::function<void()> job, std::function<void()> done) override;

 private:
  std::unique_ptr<QObject> context_;  // receives queued work; its children are the timers
  QThreadPool pool_;
};

}  // namespace dozewick
