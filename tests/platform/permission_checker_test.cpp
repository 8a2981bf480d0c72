// The permission checker: one-shot checks, the guided check and its poll, over a fake backend.
#include "platform/permission_checker.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "localization/language_manager.h"
#include "support/fake_backend.h"
#include "support/memory_preferences.h"
#include "support/virtual_runtime.h"

namespace dozewick {
namespace {

using namespace std::chrono_literals;

class PermissionCheckerTest : public ::testing::Test {
 protected:
  // A checker with nothing left to run.
  std::shared_ptr<PermissionChecker> settled() {
    auto checker = PermissionChecker::create(runtime_, language_, backend_);
    runtime_.runPending();
    return checker;
  }
  // Starts the guided check without trust: prompt, settings, a poll every second.
  std::shared_ptr<PermissionChecker> polling() {
    auto checker = settled();
    checker->startCheckingPermission();
    EXPECT_EQ(checker->checkStatus().get(), "Checking...");
    EXPECT_TRUE(backend_.calls.empty()) << "only the synchronous part ran";
    runtime_.runPending();
    EXPECT_EQ(backend_.calls, (std::vector<std::string>{"authorize", "help"}));
    return checker;
  }
  std::string checking(int n) const { return "Checking... (" + std::to_string(n) + "s)"; }

  testing::VirtualRuntime runtime_;
  testing::MemoryPreferences prefs_;
  LanguageManager language_{prefs_, {"en-US"}};
  testing::FakeBackend backend_;
};

TEST_F(PermissionCheckerTest, OneShotChecksPublishOnlyChangesAndAnswerAfterPublishing) {
  // The first answer is there when construction returns: the first icon is drawn from it.
  backend_.trusted = true;
  auto first = PermissionChecker::create(runtime_, language_, backend_);
  EXPECT_TRUE(first->hasAccessibilityPermission().get());
  EXPECT_EQ(first->checkStatus().get(), "Permission OK");
  backend_.trusted = false;
  auto checker = PermissionChecker::create(runtime_, language_, backend_);
  EXPECT_EQ(runtime_.pendingTaskCount(), 0u);
  EXPECT_FALSE(checker->hasAccessibilityPermission().get());
  EXPECT_EQ(checker->checkStatus().get(), "") << "an unchanged answer stores no text";

  std::vector<bool> answers;
  backend_.trusted = true;
  checker->checkPermissionAsync([&](bool granted) {
    answers.push_back(granted);
    EXPECT_TRUE(checker->hasAccessibilityPermission().get());
  });
  EXPECT_TRUE(answers.empty()) << "never inside the call";
  runtime_.runPending();
  EXPECT_EQ(answers, std::vector<bool>{true});
  EXPECT_EQ(checker->checkStatus().get(), "Permission OK");

  backend_.trusted = false;
  checker->checkPermissionAsync(nullptr);
  runtime_.runPending();
  EXPECT_EQ(checker->checkStatus().get(), "Permission Required");
  EXPECT_FALSE(checker->hasCheckTimer()) << "withdrawn trust starts no poll";
  EXPECT_TRUE(backend_.calls.empty());

  backend_.trusted = true;
  checker->checkPermissionAsync(nullptr);
  runtime_.runPending();
  backend_.trusted = false;
  backend_.whyNot = Readiness::keepsWindows;
  checker->checkPermissionAsync(nullptr);
  runtime_.runPending();
  EXPECT_EQ(checker->checkStatus().get(), "This window manager does not iconify windows");
  EXPECT_TRUE(checker->keepsWindows());
}

TEST_F(PermissionCheckerTest, GuidedCheckCountsEachTickUntilTrustArrives) {
  auto checker = polling();
  runtime_.advance(1000ms);
  EXPECT_EQ(checker->checkStatus().get(), checking(1));
  runtime_.advance(10'000ms);
  EXPECT_EQ(checker->checkStatus().get(), checking(11));
  // A switch shows from the next tick on.
  language_.setCurrentLanguage("zh-Hans");
  EXPECT_EQ(checker->checkStatus().get(), checking(11));
  runtime_.advance(1000ms);
  EXPECT_EQ(checker->checkStatus().get(), "正在检查 (12s)");

  backend_.trusted = true;
  runtime_.advance(1000ms);
  EXPECT_TRUE(checker->hasAccessibilityPermission().get());
  EXPECT_FALSE(checker->isCheckingPermission().get());
  EXPECT_EQ(checker->checkStatus().get(), "权限已获取");
  runtime_.advance(5000ms);
  EXPECT_EQ(checker->checkCount(), 13);
  EXPECT_EQ(runtime_.activeTimerCount(), 0u);
  EXPECT_EQ(backend_.calls.size(), 2u);
}

// A desktop that cannot tell yet (its part still being set up) is no missing trust: no text,
// and it is asked again often until it can tell, then no more.
TEST_F(PermissionCheckerTest, AnAnswerNotKnownYetWarnsOfNothingAndIsAskedForSoon) {
  backend_.pending = true;
  auto checker = settled();
  EXPECT_TRUE(checker->isAnswerPending().get());
  EXPECT_FALSE(checker->hasAccessibilityPermission().get());
  std::vector<bool> starts;  // Start waits for the answer rather than take "not yet" for "no"
  checker->checkPermissionOnceKnown([&starts](bool granted) { starts.push_back(granted); });
  runtime_.advance(1000ms);
  EXPECT_EQ(checker->checkStatus().get(), "");
  EXPECT_TRUE(starts.empty());
  const int queries = backend_.trustQueries;
  backend_.pending = false;
  backend_.trusted = true;
  runtime_.advance(200ms);
  EXPECT_EQ(backend_.trustQueries, queries + 1);
  EXPECT_FALSE(checker->isAnswerPending().get());
  EXPECT_EQ(checker->checkStatus().get(), "Permission OK");
  EXPECT_EQ(starts, std::vector<bool>{true});
  runtime_.advance(5000ms);
  EXPECT_EQ(backend_.trustQueries, queries + 1) << "no more asking once known";
  EXPECT_EQ(runtime_.activeTimerCount(), 0u);
}

// The time-out comes after exactly 30 ticks, and its text keeps the language it was stored in.
TEST_F(PermissionCheckerTest, ThirtyTicksWithoutTrustEndInTheTimeOut) {
  auto checker = polling();
  runtime_.advance(29'000ms);
  EXPECT_EQ(checker->checkStatus().get(), checking(29));
  EXPECT_TRUE(checker->isCheckingPermission().get());
  runtime_.advance(1000ms);
  EXPECT_EQ(checker->checkCount(), 30);
  EXPECT_EQ(checker->checkStatus().get(), "Timeout, restart app");
  EXPECT_FALSE(checker->isCheckingPermission().get());
  language_.setCurrentLanguage("zh-Hans");
  runtime_.advance(10'000ms);
  EXPECT_EQ(checker->checkCount(), 30);
  EXPECT_EQ(checker->checkStatus().get(), "Timeout, restart app");
}

// Stopping is the permission sheet's closing (views).
TEST_F(PermissionCheckerTest, AGuidedCheckEndsOnAOneShotGrantAndWithTheChecker) {
  auto checker = polling();
  runtime_.advance(4000ms);
  backend_.trusted = true;
  checker->checkPermissionAsync(nullptr);
  runtime_.runPending();
  EXPECT_EQ(checker->checkStatus().get(), "Permission OK");
  EXPECT_FALSE(checker->isCheckingPermission().get());
  EXPECT_EQ(runtime_.activeTimerCount(), 0u);

  // Trust already known, or found by the start's own check: no prompt, no poll.
  backend_.calls.clear();
  checker->startCheckingPermission();
  runtime_.runPending();
  EXPECT_FALSE(checker->isCheckingPermission().get());
  EXPECT_EQ(checker->checkStatus().get(), "Permission OK");
  EXPECT_TRUE(backend_.calls.empty());

  backend_.trusted = false;
  checker = polling();
  runtime_.advance(2000ms);
  checker.reset();
  EXPECT_EQ(runtime_.activeTimerCount(), 0u) << "a checker gone leaves no timer";
  runtime_.advance(3000ms);
}

// An Authorize that cannot lead to the grant (on GNOME: something not Dozewick's in the
// extension's place) says why, and no poll runs out into a time-out that would blame the wrong
// thing.
TEST_F(PermissionCheckerTest, AnAuthorizeThatCannotGrantSaysWhyAndEndsTheCheck) {
  auto checker = settled();
  backend_.authorized = {false, "the link is left alone"};
  checker->startCheckingPermission();
  runtime_.runPending();
  EXPECT_EQ(backend_.calls, std::vector<std::string>{"authorize"});
  EXPECT_EQ(checker->checkStatus().get(), "Permission Required");
  EXPECT_EQ(runtime_.activeTimerCount(), 0u);

  backend_.authorized = {};
  backend_.calls.clear();
  checker->startCheckingPermission();
  runtime_.runPending();
  EXPECT_EQ(backend_.calls, (std::vector<std::string>{"authorize", "help"}));
  EXPECT_TRUE(checker->hasCheckTimer());
}

// An install whose grant comes with the next login (GNOME on Wayland) says so, not a time-out,
// also after another Authorize in the same session, until the desktop answers.
TEST_F(PermissionCheckerTest, AGrantThatComesWithTheNextLoginIsSaidSoUntilTheDesktopAnswers) {
  auto checker = settled();
  backend_.authorized.needsNewLogin = true;
  checker->startCheckingPermission();
  runtime_.runPending();
  EXPECT_EQ(backend_.calls, (std::vector<std::string>{"authorize", "help"}));
  EXPECT_TRUE(checker->needsNewLogin().get());
  EXPECT_FALSE(checker->isCheckingPermission().get());
  EXPECT_FALSE(checker->hasCheckTimer());
  backend_.authorized.needsNewLogin = false;  // already in place the second time
  checker->startCheckingPermission();
  runtime_.advance(60'000ms);
  EXPECT_EQ(checker->checkStatus().get(), "Log out and back in to finish");
  backend_.trusted = true;
  checker->checkPermissionAsync(nullptr);
  runtime_.runPending();
  EXPECT_FALSE(checker->needsNewLogin().get());
  EXPECT_EQ(checker->checkStatus().get(), "Permission OK");
}

}  // namespace
}  // namespace dozewick
