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

class PermissionCheckerTest : public ::testing::Test {
 protected:
  // A checker whose first check, started by its construction, has answered.
  std::shared_ptr<PermissionChecker> settled() {
    auto checker = PermissionChecker::create(runtime_, language_,
                                             {[this] { return trusted_; },
                                              [this] {
                                                calls_.push_back("prompt");
                                                return prompted_;
                                              },
                                              [this] { calls_.push_back("settings"); }});
    runtime_.runPending();
    return checker;
  }
  // Starts the guided check without trust: prompt, settings, a poll every second.
  std::shared_ptr<PermissionChecker> polling() {
    auto checker = settled();
    checker->startCheckingPermission();
    EXPECT_EQ(checker->checkStatus().get(), "Checking...");
    EXPECT_TRUE(calls_.empty()) << "only the synchronous part ran";
    runtime_.runPending();
    EXPECT_EQ(calls_, (std::vector<std::string>{"prompt", "settings"}));
    return checker;
  }
  std::string checking(int n) const { return "Checking... (" + std::to_string(n) + "s)"; }

  testing::VirtualRuntime runtime_;
  testing::MemoryPreferences prefs_;
  LanguageManager language_{prefs_, {"en-US"}};
  bool trusted_ = false;
  PermissionChecker::PromptResult prompted_;
  std::vector<std::string> calls_;
};

TEST_F(PermissionCheckerTest, OneShotChecksPublishOnlyChangesAndAnswerAfterPublishing) {
  runtime_.holdBackground(true);
  auto checker = settled();
  EXPECT_EQ(runtime_.heldBackgroundCount(), 1u) << "construction starts a check, not waiting";
  runtime_.holdBackground(false);
  runtime_.releaseBackground();
  runtime_.runPending();
  EXPECT_FALSE(checker->hasAccessibilityPermission().get());
  EXPECT_EQ(checker->checkStatus().get(), "") << "an unchanged answer stores no text";

  std::vector<bool> answers;
  trusted_ = true;
  checker->checkPermissionAsync([&](bool granted) {
    answers.push_back(granted);
    EXPECT_TRUE(checker->hasAccessibilityPermission().get());
  });
  EXPECT_TRUE(answers.empty()) << "never inside the call";
  runtime_.runPending();
  EXPECT_EQ(answers, std::vector<bool>{true});
  EXPECT_EQ(checker->checkStatus().get(), "Permission OK");

  trusted_ = false;
  checker->checkPermissionAsync(nullptr);
  runtime_.runPending();
  EXPECT_EQ(checker->checkStatus().get(), "Permission Required");
  EXPECT_FALSE(checker->hasCheckTimer()) << "withdrawn trust starts no poll";
  EXPECT_TRUE(calls_.empty());
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

  trusted_ = true;
  runtime_.advance(1000ms);
  EXPECT_TRUE(checker->hasAccessibilityPermission().get());
  EXPECT_FALSE(checker->isCheckingPermission().get());
  EXPECT_EQ(checker->checkStatus().get(), "权限已获取");
  runtime_.advance(5000ms);
  EXPECT_EQ(checker->checkCount(), 13);
  EXPECT_EQ(runtime_.activeTimerCount(), 0u);
  EXPECT_EQ(calls_.size(), 2u);
}

// Every tick answered at once, and every answer held until the 30th tick: the time-out comes
// after exactly 30 ticks either way, and its text keeps the language it was stored in.
TEST_F(PermissionCheckerTest, ThirtyTicksWithoutTrustEndInTheTimeOut) {
  for (const bool held : {false, true}) {
    SCOPED_TRACE(held ? "answers held" : "answers at once");
    language_.setCurrentLanguage("en");
    auto checker = polling();
    runtime_.holdBackground(held);
    runtime_.advance(29'000ms);
    EXPECT_EQ(checker->checkStatus().get(), checking(29));
    EXPECT_TRUE(checker->isCheckingPermission().get());
    runtime_.advance(1000ms);
    EXPECT_EQ(checker->checkCount(), 30);
    EXPECT_EQ(runtime_.heldBackgroundCount(), held ? 30u : 0u) << "ticks do not wait";
    runtime_.holdBackground(false);
    runtime_.releaseBackground();
    runtime_.runPending();
    EXPECT_EQ(checker->checkStatus().get(), "Timeout, restart app");
    EXPECT_FALSE(checker->isCheckingPermission().get());
    language_.setCurrentLanguage("zh-Hans");
    runtime_.advance(10'000ms);
    EXPECT_EQ(checker->checkCount(), 30);
    EXPECT_EQ(checker->checkStatus().get(), "Timeout, restart app");
    calls_.clear();
  }
}

TEST_F(PermissionCheckerTest, AGuidedCheckEndsOnStopOnAOneShotGrantAndWithTheChecker) {
  auto checker = polling();
  runtime_.advance(5000ms);
  checker->stopCheckingPermission();
  runtime_.advance(10'000ms);
  EXPECT_EQ(checker->checkStatus().get(), checking(5)) << "the last text stays";
  EXPECT_EQ(runtime_.activeTimerCount(), 0u);

  calls_.clear();
  checker = polling();
  runtime_.advance(4000ms);
  trusted_ = true;
  checker->checkPermissionAsync(nullptr);
  runtime_.runPending();
  EXPECT_EQ(checker->checkStatus().get(), "Permission OK");
  EXPECT_FALSE(checker->isCheckingPermission().get());
  EXPECT_EQ(runtime_.activeTimerCount(), 0u);

  // Trust already known, or found by the start's own check: no prompt, no poll.
  calls_.clear();
  checker->startCheckingPermission();
  runtime_.runPending();
  EXPECT_FALSE(checker->isCheckingPermission().get());
  EXPECT_EQ(checker->checkStatus().get(), "Permission OK");
  EXPECT_TRUE(calls_.empty());

  trusted_ = false;
  checker = polling();
  runtime_.holdBackground(true);
  runtime_.advance(2000ms);
  checker.reset();
  EXPECT_EQ(runtime_.activeTimerCount(), 0u) << "a checker gone leaves no timer";
  runtime_.releaseBackground();
  runtime_.advance(3000ms);
}

// A prompt that cannot lead to the grant (on GNOME: something not Dozewick's in the extension's
// place) says why, and no poll runs out into a time-out that would blame the wrong thing.
TEST_F(PermissionCheckerTest, APromptThatCannotGrantSaysWhyAndEndsTheCheck) {
  auto checker = settled();
  prompted_ = {"the link is left alone", false};
  checker->startCheckingPermission();
  runtime_.runPending();
  EXPECT_EQ(calls_, std::vector<std::string>{"prompt"});
  EXPECT_EQ(checker->promptNote().get(), "the link is left alone");
  EXPECT_FALSE(checker->isCheckingPermission().get());
  EXPECT_EQ(checker->checkStatus().get(), "Permission Required");
  EXPECT_EQ(runtime_.activeTimerCount(), 0u);

  prompted_ = {};
  calls_.clear();
  checker->startCheckingPermission();
  EXPECT_EQ(checker->promptNote().get(), "") << "a new try starts with nothing said";
  runtime_.runPending();
  EXPECT_EQ(calls_, (std::vector<std::string>{"prompt", "settings"}));
  EXPECT_TRUE(checker->hasCheckTimer());
}

}  // namespace
}  // namespace dozewick
