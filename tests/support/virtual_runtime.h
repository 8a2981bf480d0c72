// The main thread in virtual time, and a clock that moves only when told to: standard C++.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/runtime.h"

namespace dozewick::testing {

// A clock that moves only when told to.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(double start = 1'800'000'000.0) : now_(start) {}
  double now() const override { return now_; }
  void set(double seconds) { now_ = seconds; }
  void advance(double seconds) { now_ += seconds; }

 private:
  double now_;
};

// The main thread in virtual time: timers and tasks wait in one queue ordered by due time and
// then by the order in which they were queued, so a test can run minutes of the loop in
// milliseconds and know exactly which firings happened.
class VirtualRuntime final : public Runtime {
 public:
  VirtualRuntime();
  ~VirtualRuntime() override;

  ManualClock& clock() { return clock_; }

  std::shared_ptr<RepeatingTimer> scheduleRepeating(std::chrono::milliseconds interval,
                                                    std::function<void()> onFire) override;
  void post(std::function<void()> task) override;

  // Runs everything that is due now, including what it queues for now.
  void runPending();
  // Moves time forward by `span`, running each timer and task at its due time.
  void advance(std::chrono::milliseconds span);

  std::size_t activeTimerCount() const;
  std::size_t pendingTaskCount() const;

 private:
  struct TimerState;
  struct Item {
    std::function<void()> task;         // a task, or
    std::shared_ptr<TimerState> timer;  // a timer firing
  };
  using Key = std::pair<std::int64_t, std::uint64_t>;  // due time, sequence

  void enqueue(std::int64_t dueMs, Item item);
  bool runNextDueBy(std::int64_t limitMs);

  ManualClock clock_;
  std::int64_t nowMs_ = 0;
  std::uint64_t sequence_ = 0;
  std::map<Key, Item> queue_;
  std::vector<std::weak_ptr<TimerState>> timers_;
};

}  // namespace dozewick::testing
