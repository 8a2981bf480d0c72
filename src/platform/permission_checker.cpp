// Whether Dozewick can manage the desktop's windows, and the guided check that leads there.
#include "platform/permission_checker.h"

#include <utility>

namespace dozewick {

namespace {
constexpr std::chrono::milliseconds kPollInterval{1000};
}  // namespace

std::shared_ptr<PermissionChecker> PermissionChecker::create(Runtime& runtime,
                                                             const Localizer& texts,
                                                             Backend& backend) {
  std::shared_ptr<PermissionChecker> checker(new PermissionChecker(runtime, texts, backend));
  checker->checkPermissionAsync(nullptr);
  return checker;
}

PermissionChecker::PermissionChecker(Runtime& runtime, const Localizer& texts, Backend& backend)
    : runtime_(runtime), texts_(texts), backend_(backend) {}

void PermissionChecker::performPermissionCheck(std::function<void(bool)> deliver) {
  // Every backend answers from what it holds, so no thread is needed; the answer still comes
  // later, never inside the call.
  runtime_.post([self = shared_from_this(), deliver = std::move(deliver)] {
    const Readiness readiness = self->backend_.readiness();
    self->keepsWindows_ = readiness == Readiness::keepsWindows;
    deliver(readiness == Readiness::ready);
  });
}

void PermissionChecker::checkPermissionAsync(std::function<void(bool granted)> done) {
  performPermissionCheck([self = shared_from_this(), done = std::move(done)](bool granted) {
    if (granted != self->hasAccessibilityPermission_.get()) {
      self->hasAccessibilityPermission_ = granted;
      self->checkStatus_ =
          self->texts_.localizedString(granted               ? "status.permission.ok"
                                       : self->keepsWindows_ ? "status.noIconify"
                                                             : "status.permission.needed");
      if (granted) {
        self->isCheckingPermission_ = false;
        self->stopTimer();
      }
    }
    if (done)
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
  performPermissionCheck([weak = weak_from_this()](bool granted) {
    auto self = weak.lock();
    if (!self)
      return;
    if (granted) {
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
