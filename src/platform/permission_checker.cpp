// Whether Dozewick can manage the desktop's windows, and the guided check that leads there.
#include "platform/permission_checker.h"

#include <utility>

namespace dozewick {

namespace {
constexpr std::chrono::milliseconds kPollInterval{1000};
// While the desktop cannot tell yet: often enough that the first answer shows within a blink.
constexpr std::chrono::milliseconds kPendingInterval{200};
}  // namespace

std::shared_ptr<PermissionChecker> PermissionChecker::create(Runtime& runtime,
                                                             const Localizer& texts,
                                                             Backend& backend) {
  std::shared_ptr<PermissionChecker> checker(new PermissionChecker(runtime, texts, backend));
  // Cheap on every desktop, and what the first icon and panel are drawn from.
  checker->takeAnswer(backend.readiness());
  return checker;
}

PermissionChecker::PermissionChecker(Runtime& runtime, const Localizer& texts, Backend& backend)
    : runtime_(runtime), texts_(texts), backend_(backend) {}

void PermissionChecker::performPermissionCheck(std::function<void(Readiness)> deliver) {
  // Every backend answers from what it holds, so no thread is needed; the answer still comes
  // later, never inside the call.
  runtime_.post(
      [&backend = backend_, deliver = std::move(deliver)] { deliver(backend.readiness()); });
}

bool PermissionChecker::takeAnswer(Readiness readiness) {
  const bool pending = readiness == Readiness::pending;
  const bool granted = readiness == Readiness::ready;
  keepsWindows_ = readiness == Readiness::keepsWindows;
  if (pending != isAnswerPending_.get())
    isAnswerPending_ = pending;
  if (pending && !pendingTimer_) {
    std::weak_ptr<PermissionChecker> weak = weak_from_this();
    pendingTimer_ = runtime_.scheduleRepeating(kPendingInterval, [weak] {
      if (auto self = weak.lock())
        self->checkPermissionAsync(nullptr);
    });
  } else if (!pending && pendingTimer_) {
    std::exchange(pendingTimer_, nullptr)->invalidate();
  }
  if (granted != hasAccessibilityPermission_.get()) {
    hasAccessibilityPermission_ = granted;
    // Not yet known is not missing: nothing to tell until the desktop answers.
    if (!pending)
      checkStatus_ = texts_.localizedString(granted         ? "status.permission.ok"
                                            : keepsWindows_ ? "status.noIconify"
                                                            : "status.permission.needed");
    if (granted) {
      isCheckingPermission_ = false;
      stopTimer();
    }
  }
  if (granted && needsNewLogin_.get())
    needsNewLogin_ = false;
  if (!pending) {
    for (auto& waiting : std::exchange(awaitingAnswer_, {}))
      waiting(granted);
  }
  return granted;
}

void PermissionChecker::checkPermissionAsync(std::function<void(bool granted)> done) {
  performPermissionCheck([self = shared_from_this(), done = std::move(done)](Readiness readiness) {
    const bool granted = self->takeAnswer(readiness);
    if (done)
      done(granted);
  });
}

void PermissionChecker::checkPermissionOnceKnown(std::function<void(bool granted)> done) {
  checkPermissionAsync([self = shared_from_this(), done = std::move(done)](bool granted) {
    if (self->isAnswerPending_.get())
      self->awaitingAnswer_.push_back(done);
    else
      done(granted);
  });
}

void PermissionChecker::startCheckingPermission() {
  isCheckingPermission_ = true;
  checkCount_ = 0;
  checkStatus_ = texts_.localizedString("status.checking");
  if (!promptNote_.get().empty())
    promptNote_ = std::string();
  checkPermissionAsync([self = shared_from_this()](bool granted) {
    if (granted) {
      // Trust that was already known publishes no change; end the check all the same so that
      // it does not read "checking" for ever.
      if (self->isCheckingPermission_.get()) {
        self->isCheckingPermission_ = false;
        self->checkStatus_ = self->texts_.localizedString("status.permission.ok");
      }
      return;
    }
    // What Authorize found that the user must know is shown in the sheet; where no grant can come
    // of it, polling would end in a time-out that blames the wrong thing.
    AuthorizeOutcome outcome = self->backend_.authorize();
    if (!outcome.message.empty())
      self->promptNote_ = std::move(outcome.message);
    if (!outcome.ok) {
      self->isCheckingPermission_ = false;
      self->checkStatus_ = self->texts_.localizedString("status.permission.needed");
      return;
    }
    self->backend_.showHelp();
    // Until that login nothing will change: a poll would only run out and blame the wrong thing.
    if (outcome.needsNewLogin || self->needsNewLogin_.get()) {
      if (!self->needsNewLogin_.get())
        self->needsNewLogin_ = true;
      self->isCheckingPermission_ = false;
      self->checkStatus_ = self->texts_.localizedString("status.loginNeeded");
      return;
    }
    self->stopTimer();
    std::weak_ptr<PermissionChecker> weak = self;
    self->checkTimer_ = self->runtime_.scheduleRepeating(kPollInterval, [weak] {
      if (auto checker = weak.lock())
        checker->pollTick();
    });
  });
}

void PermissionChecker::pollTick() {
  ++checkCount_;
  checkStatus_ =
      texts_.localizedString("status.checking") + " (" + std::to_string(checkCount_) + "s)";
  // Ticks do not wait for each other: every tick asks on its own.
  performPermissionCheck([weak = weak_from_this()](Readiness readiness) {
    auto self = weak.lock();
    if (!self)
      return;
    if (readiness == Readiness::ready) {
      self->hasAccessibilityPermission_ = true;
      self->isCheckingPermission_ = false;
      self->checkStatus_ = self->texts_.localizedString("status.permission.granted");
      self->stopTimer();
    } else if (self->checkCount_ >= maxCheckCount) {
      self->isCheckingPermission_ = false;
      self->checkStatus_ = self->texts_.localizedString("status.timeout");
      self->stopTimer();
    }
  });
}

void PermissionChecker::stopCheckingPermission() {
  stopTimer();
  isCheckingPermission_ = false;
}

void PermissionChecker::stopTimer() {
  if (auto timer = std::exchange(checkTimer_, nullptr))
    timer->invalidate();
}

}  // namespace dozewick
