#include "localization/language_manager.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/memory_preferences.h"

namespace dozewick {
namespace {

using testing::MemoryPreferences;
using Strings = std::vector<std::string>;

// --- Start-up choice -------------------------------------------------------------------------

TEST(LanguageManagerStartUp, SavedKnownCodeWinsOverTheSystem) {
  MemoryPreferences prefs;
  prefs.values["app_language"] = std::string("zh-Hans");
  LanguageManager manager(prefs, {"en-US"});
  EXPECT_EQ(manager.currentLanguage().get(), "zh-Hans");
  EXPECT_EQ(prefs.stringList("AppleLanguages"), Strings{"zh-Hans"});
}

TEST(LanguageManagerStartUp, SavedUnknownCodeIsIgnoredButKept) {
  MemoryPreferences prefs;
  prefs.values["app_language"] = std::string("fr");
  LanguageManager manager(prefs, {"zh-CN"});
  EXPECT_EQ(manager.currentLanguage().get(), "zh-Hans");
  EXPECT_EQ(prefs.string("app_language"), "fr");
}

TEST(LanguageManagerStartUp, EveryChineseVariantSelectsSimplifiedChineseWithoutSavingAChoice) {
  MemoryPreferences prefs;
  LanguageManager manager(prefs, {"zh-Hant-TW", "en-US"});
  EXPECT_EQ(manager.currentLanguage().get(), "zh-Hans");
  EXPECT_EQ(prefs.stringList("AppleLanguages"), Strings{"zh-Hans"});
  EXPECT_FALSE(prefs.string("app_language").has_value());
  EXPECT_EQ(prefs.flushes, 1);
}

TEST(LanguageManagerStartUp, EmptySystemListMeansEnglish) {
  MemoryPreferences prefs;
  LanguageManager manager(prefs, {});
  EXPECT_EQ(manager.currentLanguage().get(), "en");
  EXPECT_EQ(prefs.stringList("AppleLanguages"), Strings{"en"});
}

TEST(LanguageManagerStartUp, SavedValueOfTheWrongTypeCountsAsAbsent) {
  MemoryPreferences prefs;
  prefs.values["app_language"] = Strings{"zh-Hans"};
  LanguageManager manager(prefs, {"en-GB"});
  EXPECT_EQ(manager.currentLanguage().get(), "en");
}

// --- Changing the language ---------------------------------------------------------------------

class LanguageManagerChange : public ::testing::Test {
 protected:
  void SetUp() override {
    subscription_ = manager_.objectWillChange().connect(
        [this] { seenDuringNotice_.push_back(manager_.currentLanguage().get()); });
    prefs_.writes = 0;
    prefs_.flushes = 0;
  }

  MemoryPreferences prefs_;
  LanguageManager manager_{prefs_, {"en-US"}};
  Strings seenDuringNotice_;
  Subscription subscription_;
};

TEST_F(LanguageManagerChange, SwitchPersistsBothKeysAndNotifiesBeforeAndAfterStoring) {
  manager_.setCurrentLanguage("zh-Hans");

  EXPECT_EQ(manager_.currentLanguage().get(), "zh-Hans");
  EXPECT_EQ(prefs_.string("app_language"), "zh-Hans");
  EXPECT_EQ(prefs_.stringList("AppleLanguages"), Strings{"zh-Hans"});
  EXPECT_EQ(prefs_.flushes, 1);
  // The second notice lets observers that read at once see the new language.
  EXPECT_EQ(seenDuringNotice_, (Strings{"en", "zh-Hans"}));
}

TEST_F(LanguageManagerChange, RepeatingTheCurrentLanguageNotifiesOnceAndWritesNothing) {
  manager_.setCurrentLanguage("en");
  EXPECT_EQ(seenDuringNotice_.size(), 1u);
  EXPECT_EQ(prefs_.writes, 0);
  EXPECT_EQ(prefs_.flushes, 0);
  EXPECT_FALSE(prefs_.string("app_language").has_value());
}

TEST_F(LanguageManagerChange, SwitchChangesEveryLookupAtOnce) {
  EXPECT_EQ(manager_.localizedString("button.quit"), "Quit");
  manager_.setCurrentLanguage("zh-Hans");
  EXPECT_EQ(manager_.localizedString("button.quit"), "退出程序");
  manager_.setCurrentLanguage("en");
  EXPECT_EQ(manager_.localizedString("button.quit"), "Quit");
  EXPECT_EQ(prefs_.string("app_language"), "en");
}

// --- Texts ---------------------------------------------------------------------------------------

std::set<std::string> keysOf(const LanguageManager::Table& table) {
  std::set<std::string> keys;
  for (const auto& [key, text] : table)
    keys.insert(key);
  return keys;
}

TEST(LanguageManagerTables, BothLanguagesHoldTheSame35KeysWithoutEmptyTexts) {
  const auto& tables = LanguageManager::builtInTables();
  ASSERT_EQ(tables.size(), 2u);
  const auto& en = tables.at("en");
  const auto& zh = tables.at("zh-Hans");
  EXPECT_EQ(en.size(), 35u);
  EXPECT_EQ(keysOf(en), keysOf(zh));
  for (const auto* table : {&en, &zh}) {
    for (const auto& [key, text] : *table)
      EXPECT_FALSE(text.empty()) << key;
  }
}

class FakeResources final : public TranslationResources {
 public:
  std::string languageResource(const std::string& code, const std::string& key) const override {
    const auto it = perLanguage.find(code + "/" + key);
    return it == perLanguage.end() ? key : it->second;
  }
  std::string mainResource(const std::string& key) const override {
    const auto it = main.find(key);
    return it == main.end() ? key : it->second;
  }
  std::map<std::string, std::string> perLanguage;
  std::map<std::string, std::string> main;
};

TEST(LanguageManagerLookup, UnknownKeyComesBackUnchanged) {
  MemoryPreferences prefs;
  LanguageManager manager(prefs, {"zh"});
  EXPECT_EQ(manager.localizedString("no.such.key"), "no.such.key");
  EXPECT_EQ(manager.localizedString(""), "");
}

TEST(LanguageManagerLookup, ResourcesOfTheLanguageComeFirstThenMainResourcesThenTables) {
  MemoryPreferences prefs;
  FakeResources resources;
  resources.perLanguage["en/button.quit"] = "Exit";
  resources.main["button.quit"] = "Leave";
  resources.main["button.stop"] = "Halt";
  // A translation equal to its key counts as missing.
  resources.perLanguage["en/button.start"] = "button.start";
  LanguageManager manager(prefs, {"en"}, &resources);

  EXPECT_EQ(manager.localizedString("button.quit"), "Exit");
  EXPECT_EQ(manager.localizedString("button.stop"), "Halt");
  EXPECT_EQ(manager.localizedString("button.start"), "Start");

  // Resources are consulted on every call: a language switch picks the other file.
  manager.setCurrentLanguage("zh-Hans");
  EXPECT_EQ(manager.localizedString("button.quit"), "Leave");
  EXPECT_EQ(manager.localizedString("button.start"), "启动");
}

TEST(LanguageManagerLookup, LanguageWithoutTableGivesKeysNotEnglish) {
  MemoryPreferences prefs;
  LanguageManager manager(prefs, {"en"});
  manager.setCurrentLanguage("fr");
  EXPECT_EQ(manager.localizedString("button.quit"), "button.quit");
  EXPECT_EQ(manager.fallbackText("button.quit"), "button.quit");
}

}  // namespace
}  // namespace dozewick
