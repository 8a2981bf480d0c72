// The interface language: its choice, its persistence and its texts.
#include "localization/language_manager.h"

#include <gtest/gtest.h>

#include <QApplication>

#include "support/memory_preferences.h"
#include "support/qt_application.h"

namespace dozewick {
namespace {

using testing::MemoryPreferences;
using Strings = std::vector<std::string>;

[[maybe_unused]] const auto* const kEnvironment = testing::addQtApplication<QApplication>();

TEST(LanguageManagerTest, StartUpChoice) {
  using Saved = std::optional<MemoryPreferences::Value>;
  const struct {
    Saved saved;
    Strings system;
    const char* chosen;
  } cases[] = {
      {std::string("zh-Hans"), {"en-US"}, "zh-Hans"},  // a saved known code wins
      {std::string("fr"), {"zh-CN"}, "zh-Hans"},       // an unknown one is ignored
      {Strings{"zh-Hans"}, {"en-GB"}, "en"},           // so is a value of the wrong type
      {std::nullopt, {"zh-Hant-TW", "en-US"}, "zh-Hans"},
      {std::nullopt, {}, "en"},
  };
  for (const auto& c : cases) {
    MemoryPreferences prefs;
    if (c.saved)
      prefs.values["app_language"] = *c.saved;
    LanguageManager manager(prefs, c.system);
    EXPECT_EQ(manager.currentLanguage().get(), c.chosen) << c.chosen;
    // The start-up choice saves nothing and leaves a saved value as it was.
    EXPECT_EQ(prefs.writes + prefs.flushes, 0);
    EXPECT_EQ(prefs.values.size(), c.saved ? 1u : 0u);
  }
}

TEST(LanguageManagerTest, ASwitchPersistsNotifiesTwiceAndChangesEveryText) {
  MemoryPreferences prefs;
  LanguageManager manager(prefs, {"en-US"});
  Strings seen;
  const Subscription s =
      manager.objectWillChange().connect([&] { seen.push_back(manager.currentLanguage().get()); });
  prefs.writes = prefs.flushes = 0;
  manager.setCurrentLanguage("en");
  EXPECT_EQ(prefs.writes + prefs.flushes, 0) << "repeating the language writes nothing";
  EXPECT_EQ(seen, Strings{"en"});

  manager.setCurrentLanguage("zh-Hans");
  EXPECT_EQ(
      prefs.values,
      (std::map<std::string, MemoryPreferences::Value>{{"app_language", std::string("zh-Hans")}}));
  EXPECT_EQ(prefs.flushes, 1);
  // Before storing, and again once the new value is in place.
  EXPECT_EQ(seen, (Strings{"en", "en", "zh-Hans"}));

  EXPECT_EQ(manager.localizedString("status.timeout"), "检测超时，请重启应用");
  EXPECT_EQ(manager.localizedString("permission.step1"), "点击“去授权”");
  manager.setCurrentLanguage("en");
  EXPECT_EQ(manager.localizedString("button.quit"), "Quit");
  EXPECT_EQ(manager.localizedString("permission.title"), "Accessibility Required");
  EXPECT_EQ(manager.localizedString("no.such.key"), "no.such.key");
  manager.setCurrentLanguage("fr");
  EXPECT_EQ(manager.localizedString("button.quit"), "button.quit") << "keys, not English";
}

}  // namespace
}  // namespace dozewick
