// One redraw from the event loop after any number of change notices.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

#include "core/observable.h"

namespace dozewick {

// Redraws its owner once, from the event loop, after any number of change notices of the objects
// it observes: a published value announces its change before storing it, so the new value can
// only be read afterwards.
class QueuedRedraw {
 public:
  QueuedRedraw(QObject* owner, std::function<void()> redraw)
      : owner_(owner), redraw_(std::move(redraw)) {}
  QueuedRedraw(const QueuedRedraw&) = delete;
  QueuedRedraw& operator=(const QueuedRedraw&) = delete;

  void observe(const ObservableObject& object) {
    subscriptions_.push_back(object.objectWillChange().connect([this] { schedule(); }));
  }
  // Only the changes of one published value (its willSet()).
  template <class T>
  void observe(const Signal<T>& willSet) {
    subscriptions_.push_back(willSet.connect([this](const T&) { schedule(); }));
  }
  // Ends all observing, before the owner starts tearing down what the redraw reads.
  void stop() { subscriptions_.clear(); }
  // For a widget that redraws itself whenever it is shown: no work at all while it is hidden,
  // where the loop's figures would otherwise redraw it every second.
  void skipWhileHidden(const QWidget* widget) { hiddenOwner_ = widget; }

  void schedule() {
    if (scheduled_ || (hiddenOwner_ && !hiddenOwner_->isVisible()))
      return;
    scheduled_ = true;
    // Queued on the owner, so it is dropped if the owner is gone by then.
    QMetaObject::invokeMethod(
        owner_,
        [this] {
          scheduled_ = false;
          redraw_();
        },
        Qt::QueuedConnection);
  }

 private:
  QObject* owner_;
  std::function<void()> redraw_;
  std::vector<Subscription> subscriptions_;
  QPointer<const QWidget> hiddenOwner_;
  bool scheduled_ = false;
};

}  // namespace dozewick
