#include "platform/qt_runtime.h"

#include <QMetaObject>
#include <QPointer>
#include <QTimer>

namespace dozewick {
namespace {

class QtRepeatingTimer final : public RepeatingTimer {
 public:
  QtRepeatingTimer(QObject* context, std::chrono::milliseconds interval,
                   std::function<void()> onFire)
      : timer_(new QTimer(context)), onFire_(std::make_shared<std::function<void()>>(onFire)) {
    // A coarse timer may fire up to 5 % early, and the loop and its countdown would drift apart.
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(interval);
    auto callback = onFire_;
    QObject::connect(timer_, &QTimer::timeout, timer_, [callback] {
      // A copy, because the callback may invalidate its own timer.
      if (auto fire = *callback)
        fire();
    });
    timer_->start();
  }
  ~QtRepeatingTimer() override {
    invalidate();
    // Deferred: the handle may be dropped inside the timer's own firing.
    if (timer_)
      timer_->deleteLater();
  }

  void invalidate() override {
    if (timer_)
      timer_->stop();
    *onFire_ = nullptr;
  }
  bool isValid() const override { return timer_ && timer_->isActive(); }

 private:
  QPointer<QTimer> timer_;
  std::shared_ptr<std::function<void()>> onFire_;
};

}  // namespace

QtRuntime::QtRuntime() : context_(std::make_unique<QObject>()) {}

QtRuntime::~QtRuntime() {
  // No background job may deliver to a context that is gone; results still queued for it are
  // discarded together with the context.
  pool_.waitForDone();
}

std::shared_ptr<RepeatingTimer> QtRuntime::scheduleRepeating(std::chrono::milliseconds interval,
                                                             std::function<void()> onFire) {
  return std::make_shared<QtRepeatingTimer>(context_.get(), interval, std::move(onFire));
}

void QtRuntime::post(std::function<void()> task) {
  QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::QueuedConnection);
}

void QtRuntime::runInBackground(std::function<void()> job, std::function<void()> done) {
  QObject* context = context_.get();
  pool_.start([context, job = std::move(job), done = std::move(done)]() mutable {
    job();
    QMetaObject::invokeMethod(context, std::move(done), Qt::QueuedConnection);
  });
}

}  // namespace dozewick
