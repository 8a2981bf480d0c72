// The main thread of the program: Qt's event loop, its timers on one grid, and posted tasks.
#include "platform/qt_runtime.h"

#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace dozewick {

// All repeating timers on one Qt timer armed for the earliest of them. Timers of whole grid steps
// fall due on the same instants, so a 3-second timer fires in the wake-up of a 1-second one: on an
// idle desktop a wake-up costs more than the work it runs.
class QtRuntime::Schedule : public std::enable_shared_from_this<Schedule> {
 public:
  using SteadyTime = std::chrono::steady_clock::time_point;
  struct Entry {
    SteadyTime due;
    std::chrono::milliseconds interval;
    std::function<void()> onFire;  // empty once invalidated
  };

  Schedule(QObject* context, std::chrono::milliseconds grid)
      : timer_(new QTimer(context)), grid_(grid), origin_(std::chrono::steady_clock::now()) {
    // A coarse timer may fire up to 5 % early.
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setSingleShot(true);
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] { fireDue(); });
  }

  std::shared_ptr<Entry> add(std::chrono::milliseconds interval, std::function<void()> onFire) {
    interval = std::max(interval, std::chrono::milliseconds(1));
    const SteadyTime now = std::chrono::steady_clock::now();
    SteadyTime due = now + interval;
    if (grid_.count() > 0 && interval % grid_ == decltype(interval){0}) {
      // Never sooner than asked: the first grid instant at or after one interval from now.
      const auto steps = (due - origin_ + grid_ - std::chrono::nanoseconds(1)) / grid_;
      due = origin_ + steps * grid_;
    }
    auto entry = std::make_shared<Entry>(Entry{due, interval, std::move(onFire)});
    entries_.push_back(entry);
    arm();
    return entry;
  }

  void arm() {
    if (!timer_)
      return;  // the runtime went away inside a firing
    std::erase_if(entries_, [](const auto& entry) { return !entry->onFire; });
    if (entries_.empty()) {
      timer_->stop();
      return;
    }
    const auto next = std::min_element(entries_.begin(), entries_.end(),
                                       [](auto& a, auto& b) { return a->due < b->due; })
                          ->get()
                          ->due;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
        std::max(next - std::chrono::steady_clock::now(), std::chrono::nanoseconds(0)));
    timer_->start(wait);
  }

 private:
  void fireDue() {
    const SteadyTime now = std::chrono::steady_clock::now();
    std::vector<std::shared_ptr<Entry>> due;
    for (const auto& entry : entries_) {
      if (entry->onFire && entry->due <= now) {
        due.push_back(entry);
        // Firings missed while the program could not run (a suspended machine, a long callback)
        // are skipped, not caught up.
        const auto behind = (now - entry->due) / entry->interval + 1;
        entry->due += behind * entry->interval;
      }
    }
    // The schedule may be gone after a callback that drops the runtime.
    const auto self = shared_from_this();
    for (const auto& entry : due) {
      // A copy, because the callback may invalidate its own timer, and an earlier callback may
      // have invalidated a later one.
      if (auto fire = entry->onFire)
        fire();
    }
    arm();
  }

  QPointer<QTimer> timer_;  // owned by the runtime's context
  std::chrono::milliseconds grid_;
  SteadyTime origin_;
  std::vector<std::shared_ptr<Entry>> entries_;
};

namespace {

class QtRepeatingTimer final : public RepeatingTimer {
 public:
  QtRepeatingTimer(std::weak_ptr<QtRuntime::Schedule> schedule,
                   std::shared_ptr<QtRuntime::Schedule::Entry> entry)
      : schedule_(std::move(schedule)), entry_(std::move(entry)) {}
  ~QtRepeatingTimer() override { invalidate(); }

  void invalidate() override {
    if (!entry_->onFire)
      return;
    entry_->onFire = nullptr;
    if (auto schedule = schedule_.lock())
      schedule->arm();
  }
  bool isValid() const override { return entry_->onFire != nullptr && !schedule_.expired(); }

 private:
  std::weak_ptr<QtRuntime::Schedule> schedule_;
  std::shared_ptr<QtRuntime::Schedule::Entry> entry_;
};

}  // namespace

QtRuntime::QtRuntime(std::chrono::milliseconds grid)
    : context_(std::make_unique<QObject>()),
      schedule_(std::make_shared<Schedule>(context_.get(), grid)) {}

// Tasks still queued for the context are discarded together with it.
QtRuntime::~QtRuntime() = default;

std::shared_ptr<RepeatingTimer> QtRuntime::scheduleRepeating(std::chrono::milliseconds interval,
                                                             std::function<void()> onFire) {
  return std::make_shared<QtRepeatingTimer>(schedule_, schedule_->add(interval, std::move(onFire)));
}

void QtRuntime::post(std::function<void()> task) {
  QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::QueuedConnection);
}

}  // namespace dozewick
