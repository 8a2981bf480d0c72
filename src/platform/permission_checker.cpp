#include "platform/permission_checker.h"

#include <utility>

namespace dozewick {

namespace {
constexpr std::chrono::milliseconds kPollInterval{1000};
}  // namespace

std::shared_ptr<PermissionChecker> PermissionChecker::create(Runtime& runtime,
                                                             const Localizer& texts,
                                                             Platform platform) {
  std::shared_ptr<PermissionChecker> checker(
      new PermissionChecker(runtime, texts, std::move(platform)));
  checker->checkPermissionAsync(nullptr);
  return checker;
}

PermissionChecker::PermissionChecker(Runtime& runtime, const Localizer& texts, Platform platform)
    : runtime_(runtime), texts_(texts), platform_(std::move(platform)) {}

void PermissionChecker::performPermissionCheck(std::function<void(bool)> deliver) {
  // Only the query itself crosses to the background thread, never the checker.
  std::function<bool()> query = platform_.trustQuery;
  if (!query)
    query = [] { return false; };
  runtime_.queryInBackground<bool>(std::move(query), std::move(deliver));
}

void PermissionChecker::checkPermissionAsync(std::function<void(bool granted)> done) {
  performPermissionCheck([self = shared_from_this(), done = std::move(done)](bool granted) {
    if (granted != self->hasAccessibilityPermission_.get()) {
      self->hasAccessibilityPermission_ = granted;
      self->checkStatus_ = self->texts_.localizedString(granted ? "status.permission.ok"
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
    if (self->platform_.prompt) {
      PromptResult result = self->platform_.prompt();
      if (!result.note.empty())
        self->promptNote_ = std::move(result.note);
      if (!result.granting) {
        // Polling for what cannot come would end in a time-out that blames the wrong thing.
        self->isCheckingPermission_ = false;
        self->checkStatus_ = self->texts_.localizedString("status.permission.needed");
        return;
      }
    }
    if (self->platform_.openSettings)
      self->platform_.openSettings();
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
