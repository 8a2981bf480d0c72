#include "localization/language_selector.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "support/memory_preferences.h"
#include "support/qt_application.h"

namespace dozewick {
namespace {

[[maybe_unused]] const auto* const kEnvironment = testing::addQtApplication<QApplication>();

class LanguageSelectorTest : public ::testing::Test {
 protected:
  static void settle() { QCoreApplication::processEvents(); }

  testing::MemoryPreferences prefs_;
  LanguageManager manager_{prefs_, {"en-US"}};
};

TEST_F(LanguageSelectorTest, ListsBothLanguagesByTheirOwnNamesWithCodesAsData) {
  LanguageSelector selector(manager_);
  ASSERT_EQ(selector.count(), 2);
  EXPECT_EQ(selector.itemText(0), "English");
  EXPECT_EQ(selector.itemData(0).toString(), "en");
  EXPECT_EQ(selector.itemText(1), QString::fromUtf8("简体中文"));
  EXPECT_EQ(selector.itemData(1).toString(), "zh-Hans");
  EXPECT_EQ(selector.currentIndex(), 0);
  EXPECT_EQ(selector.accessibleName(), "Language");
}

TEST_F(LanguageSelectorTest, ChoosingAnEntrySwitchesAndPersistsTheLanguage) {
  LanguageSelector selector(manager_);
  selector.setCurrentIndex(1);
  EXPECT_EQ(manager_.currentLanguage().get(), "zh-Hans");
  EXPECT_EQ(prefs_.string("app_language"), "zh-Hans");
  settle();
  EXPECT_EQ(selector.currentIndex(), 1);
  EXPECT_EQ(selector.accessibleName(), QString::fromUtf8("语言"));
  // Names stay the same whatever the interface language.
  EXPECT_EQ(selector.itemText(0), "English");
}

TEST_F(LanguageSelectorTest, FollowsAChangeMadeElsewhereWithoutWritingItBack) {
  LanguageSelector selector(manager_);
  manager_.setCurrentLanguage("zh-Hans");
  const int writes = prefs_.writes;
  int notices = 0;
  const Subscription counting = manager_.objectWillChange().connect([&] { ++notices; });
  settle();
  EXPECT_EQ(selector.currentIndex(), 1);
  EXPECT_EQ(selector.accessibleName(), QString::fromUtf8("语言"));
  EXPECT_EQ(prefs_.writes, writes);
  EXPECT_EQ(notices, 0);
}

TEST_F(LanguageSelectorTest, SelectorGoneBeforeItsQueuedRedrawIsHarmless) {
  auto selector = std::make_unique<LanguageSelector>(manager_);
  manager_.setCurrentLanguage("zh-Hans");
  selector.reset();
  settle();
  manager_.setCurrentLanguage("en");
  settle();
  EXPECT_EQ(manager_.objectWillChange().observerCount(), 0u);
}

}  // namespace
}  // namespace dozewick
