// The main thread in virtual time, and a clock that moves only when told to: standard C++.
#include "support/virtual_runtime.h"

#include <algorithm>

namespace dozewick::testing {

struct VirtualRuntime::TimerState final : RepeatingTimer {
  TimerState(std::int64_t interval, std::function<void()> fire)
      : intervalMs(interval), onFire(std::move(fire)) {}
  void invalidate() override {
    valid = false;
    onFire = nullptr;
  }
  bool isValid() const override { return valid; }

  std::int64_t intervalMs;
  std::function<void()> onFire;
  bool valid = true;
};

VirtualRuntime::VirtualRuntime() = default;

VirtualRuntime::~VirtualRuntime() = default;

std::shared_ptr<RepeatingTimer> VirtualRuntime::scheduleRepeating(
    std::chrono::milliseconds interval, std::function<void()> onFire) {
  auto state =
      std::make_shared<TimerState>(std::max<std::int64_t>(1, interval.count()), std::move(onFire));
  timers_.push_back(state);
  enqueue(nowMs_ + state->intervalMs, Item{nullptr, state});
  // Dropping the handle stops the timer, whose state the queue may still hold.
  return std::shared_ptr<RepeatingTimer>(state.get(),
                                         [state](RepeatingTimer*) { state->invalidate(); });
}

void VirtualRuntime::post(std::function<void()> task) {
  enqueue(nowMs_, Item{std::move(task), nullptr});
}

void VirtualRuntime::enqueue(std::int64_t dueMs, Item item) {
  queue_.emplace(Key{dueMs, sequence_++}, std::move(item));
}

bool VirtualRuntime::runNextDueBy(std::int64_t limitMs) {
  if (queue_.empty() || queue_.begin()->first.first > limitMs)
    return false;
  auto node = queue_.extract(queue_.begin());
  const std::int64_t dueMs = node.key().first;
  if (dueMs > nowMs_) {
    clock_.advance(static_cast<double>(dueMs - nowMs_) / 1000.0);
    nowMs_ = dueMs;
  }
  Item& item = node.mapped();
  if (item.task) {
    item.task();
  } else if (item.timer->valid) {
    // Queue the next firing first, so that the callback may invalidate it.
    auto timer = item.timer;
    enqueue(dueMs + timer->intervalMs, Item{nullptr, timer});
    auto onFire = timer->onFire;  // the callback may invalidate and clear its own timer
    if (onFire)
      onFire();
  }
  return true;
}

void VirtualRuntime::runPending() {
  while (runNextDueBy(nowMs_)) {
  }
}

void VirtualRuntime::advance(std::chrono::milliseconds span) {
  const std::int64_t target = nowMs_ + span.count();
  while (runNextDueBy(target)) {
  }
  clock_.advance(static_cast<double>(target - nowMs_) / 1000.0);
  nowMs_ = target;
}

std::size_t VirtualRuntime::activeTimerCount() const {
  return static_cast<std::size_t>(std::count_if(timers_.begin(), timers_.end(), [](const auto& t) {
    auto timer = t.lock();
    return timer && timer->valid;
  }));
}

std::size_t VirtualRuntime::pendingTaskCount() const {
  return static_cast<std::size_t>(
      std::count_if(queue_.begin(), queue_.end(), [](const auto& e) { return e.second.task; }));
}

}  // namespace dozewick::testing
