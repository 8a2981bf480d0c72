#include "platform/permission_checker.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "localization/language_manager.h"
#include "support/memory_preferences.h"
#include "support/virtual_runtime.h"

namespace dozewick {
namespace {

using namespace std::chrono_literals;
using testing::MemoryPreferences;
using testing::VirtualRuntime;

class PermissionCheckerTest : public ::testing::Test {
 protected:
  std::shared_ptr<PermissionChecker> make() {
    auto checker = PermissionChecker::create(runtime_, language_, platform());
    subscription_ = checker->objectWillChange().connect([this] { ++notices_; });
    return checker;
  }
  PermissionChecker::Platform platform() {
    return {[this] {
              ++queries_;
              return trusted_;
            },
            [this] { calls_.push_back("prompt"); }, [this] { calls_.push_back("settings"); }};
  }
  // Runs the constructor's first check to its end.
  std::shared_ptr<PermissionChecker> settled() {
    auto checker = make();
    runtime_.runPending();
    notices_ = 0;
    return checker;
  }
  std::string checking(int n) const { return "Checking... (" + std::to_string(n) + "s)"; }

  VirtualRuntime runtime_;
  MemoryPreferences prefs_;
  LanguageManager language_{prefs_, {"en-US"}};
  bool trusted_ = false;
  int queries_ = 0;
  int notices_ = 0;
  std::vector<std::string> calls_;
  Subscription subscription_;
};

// --- Construction and the one-shot check ---------------------------------------------------------

TEST_F(PermissionCheckerTest, ConstructionStartsAFirstCheckWithoutWaitingForIt) {
  runtime_.holdBackground(true);
  trusted_ = true;
  auto checker = make();
  EXPECT_EQ(runtime_.heldBackgroundCount(), 1u);
  EXPECT_FALSE(checker->hasAccessibilityPermission().get());
  runtime_.releaseBackground();
  runtime_.runPending();
  EXPECT_TRUE(checker->hasAccessibilityPermission().get());
  EXPECT_EQ(checker->checkStatus().get(), "Permission OK");
  EXPECT_TRUE(calls_.empty());
}

TEST_F(PermissionCheckerTest, FirstUseWithoutTrustLeavesTheStatusEmpty) {
  auto checker = settled();
  EXPECT_EQ(queries_, 1);
  EXPECT_FALSE(checker->hasAccessibilityPermission().get());
  EXPECT_FALSE(checker->isCheckingPermission().get());
  EXPECT_EQ(checker->checkStatus().get(), "");
}

TEST_F(PermissionCheckerTest, AnUnchangedAnswerTouchesNothingAndTheAnswerArrivesAfterPublishing) {
  auto checker = settled();
  std::vector<bool> answers;
  checker->checkPermissionAsync([&](bool granted) { answers.push_back(granted); });
  EXPECT_TRUE(answers.empty());  // never inside the call
  runtime_.runPending();
  EXPECT_EQ(answers, std::vector<bool>{false});
  EXPECT_EQ(notices_, 0);

  trusted_ = true;
  checker->checkPermissionAsync([&](bool granted) {
    answers.push_back(granted);
    EXPECT_TRUE(checker->hasAccessibilityPermission().get());
  });
  runtime_.runPending();
  EXPECT_EQ(answers, (std::vector<bool>{false, true}));
}

TEST_F(PermissionCheckerTest, WithdrawnTrustIsPublishedWithoutStartingAPoll) {
  trusted_ = true;
  auto checker = settled();
  trusted_ = false;
  checker->checkPermissionAsync(nullptr);
  runtime_.runPending();
  EXPECT_FALSE(checker->hasAccessibilityPermission().get());
  EXPECT_EQ(checker->checkStatus().get(), "Permission Required");
  EXPECT_FALSE(checker->hasCheckTimer());
  EXPECT_TRUE(calls_.empty());
}

// --- The guided check
// ------------------------------------------------------------------------------

TEST_F(PermissionCheckerTest, GuidedCheckPromptsOpensSettingsAndCountsUntilTrustAtTick12) {
  auto checker = settled();
  checker->startCheckingPermission();
  // The synchronous part only.
  EXPECT_TRUE(checker->isCheckingPermission().get());
  EXPECT_EQ(checker->checkStatus().get(), "Checking...");
  EXPECT_TRUE(calls_.empty());

  runtime_.runPending();
  EXPECT_EQ(calls_, (std::vector<std::string>{"prompt", "settings"}));
  EXPECT_EQ(runtime_.activeTimerCount(), 1u);
  EXPECT_EQ(checker->checkStatus().get(), "Checking...");

  runtime_.advance(1000ms);
  EXPECT_EQ(checker->checkStatus().get(), checking(1));
  runtime_.advance(1000ms);
  EXPECT_EQ(checker->checkStatus().get(), checking(2));
  runtime_.advance(9000ms);
  EXPECT_EQ(checker->checkStatus().get(), checking(11));

  trusted_ = true;
  runtime_.advance(1000ms);
  EXPECT_TRUE(checker->hasAccessibilityPermission().get());
  EXPECT_FALSE(checker->isCheckingPermission().get());
  EXPECT_EQ(checker->checkStatus().get(), "Permission Granted");
  EXPECT_EQ(checker->checkCount(), 12);
  EXPECT_FALSE(checker->hasCheckTimer());
  EXPECT_EQ(runtime_.activeTimerCount(), 0u);

  runtime_.advance(5000ms);
  EXPECT_EQ(checker->checkCount(), 12);
  EXPECT_EQ(calls_.size(), 2u);
}

TEST_F(PermissionCheckerTest, ThirtyTicksWithoutTrustEndInTheTimeOut) {
  auto checker = settled();
  checker->startCheckingPermission();
  runtime_.runPending();
  runtime_.holdBackground(true);
  runtime_.advance(30'000ms);
  // The 30th count shows until its own query has answered.
  EXPECT_EQ(checker->checkStatus().get(), checking(30));
  EXPECT_TRUE(checker->isCheckingPermission().get());
  runtime_.holdBackground(false);
  runtime_.releaseBackground();
  runtime_.runPending();

  EXPECT_EQ(checker->checkStatus().get(), "Timeout, restart app");
  EXPECT_FALSE(checker->isCheckingPermission().get());
  EXPECT_FALSE(checker->hasAccessibilityPermission().get());
  EXPECT_EQ(runtime_.activeTimerCount(), 0u);
  runtime_.advance(10'000ms);
  EXPECT_EQ(checker->checkCount(), 30);
}

TEST_F(PermissionCheckerTest, TicksDoNotWaitForEachOthersQueries) {
  auto checker = settled();
  checker->startCheckingPermission();
  runtime_.runPending();
  runtime_.holdBackground(true);
  runtime_.advance(3000ms);
  EXPECT_EQ(checker->checkCount(), 3);
  EXPECT_EQ(runtime_.heldBackgroundCount(), 3u);
  EXPECT_EQ(checker->checkStatus().get(), checking(3));
}

TEST_F(PermissionCheckerTest, AOneShotCheckThatFindsTrustEndsThePoll) {
  auto checker = settled();
  checker->startCheckingPermission();
  runtime_.runPending();
  runtime_.advance(4000ms);

  trusted_ = true;
  checker->checkPermissionAsync(nullptr);
  runtime_.runPending();
  EXPECT_EQ(checker->checkStatus().get(), "Permission OK");
  EXPECT_FALSE(checker->isCheckingPermission().get());
  EXPECT_EQ(runtime_.activeTimerCount(), 0u);
  runtime_.advance(3000ms);
  EXPECT_EQ(checker->checkCount(), 4);
}

TEST_F(PermissionCheckerTest, LanguageSwitchChangesTheCountingTextAtTheNextTickOnly) {
  auto checker = settled();
  checker->startCheckingPermission();
  runtime_.runPending();
  runtime_.advance(3000ms);
  language_.setCurrentLanguage("zh-Hans");
  EXPECT_EQ(checker->checkStatus().get(), checking(3));
  runtime_.advance(1000ms);
  EXPECT_EQ(checker->checkStatus().get(), "正在检查 (4s)");

  // A final text keeps the language it was stored in.
  runtime_.advance(26'000ms);
  EXPECT_EQ(checker->checkStatus().get(), "检测超时，请重启应用");
  language_.setCurrentLanguage("en");
  EXPECT_EQ(checker->checkStatus().get(), "检测超时，请重启应用");
}

TEST_F(PermissionCheckerTest, StoppingThePollKeepsTheLastText) {
  auto checker = settled();
  checker->startCheckingPermission();
  runtime_.runPending();
  runtime_.advance(5000ms);
  checker->stopCheckingPermission();
  EXPECT_FALSE(checker->isCheckingPermission().get());
  EXPECT_FALSE(checker->hasCheckTimer());
  runtime_.advance(10'000ms);
  EXPECT_EQ(checker->checkStatus().get(), checking(5));
  EXPECT_EQ(checker->checkCount(), 5);
  EXPECT_EQ(runtime_.activeTimerCount(), 0u);
}

TEST_F(PermissionCheckerTest, TrustGrantedWhileNobodyCheckedEndsTheStartWithoutPrompt) {
  auto checker = settled();
  trusted_ = true;
  checker->startCheckingPermission();
  runtime_.runPending();
  EXPECT_TRUE(checker->hasAccessibilityPermission().get());
  EXPECT_FALSE(checker->isCheckingPermission().get());
  EXPECT_EQ(checker->checkStatus().get(), "Permission OK");
  EXPECT_TRUE(calls_.empty());
  EXPECT_EQ(runtime_.activeTimerCount(), 0u);
}

TEST_F(PermissionCheckerTest, AStartWithTrustAlreadyKnownDoesNotStayCheckingForEver) {
  trusted_ = true;
  auto checker = settled();
  checker->startCheckingPermission();
  runtime_.runPending();
  EXPECT_FALSE(checker->isCheckingPermission().get());
  EXPECT_EQ(checker->checkStatus().get(), "Permission OK");
  EXPECT_TRUE(calls_.empty());
}

TEST_F(PermissionCheckerTest, ACheckerGoneDuringAPollLeavesNoTimerBehind) {
  auto checker = settled();
  checker->startCheckingPermission();
  runtime_.runPending();
  runtime_.holdBackground(true);
  runtime_.advance(2000ms);
  std::weak_ptr<PermissionChecker> weak = checker;
  checker.reset();
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(runtime_.activeTimerCount(), 0u);
  runtime_.holdBackground(false);
  runtime_.releaseBackground();
  runtime_.advance(3000ms);
}

}  // namespace
}  // namespace dozewick
