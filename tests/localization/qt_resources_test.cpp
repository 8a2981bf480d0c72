// The Qt-backed pieces under the language manager: preferences file, translation files and the
// system's language list.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>

#include "localization/language_manager.h"
#include "localization/qsettings_preferences.h"
#include "localization/qt_translation_resources.h"
#include "localization/system_languages.h"

namespace dozewick {
namespace {

using Strings = std::vector<std::string>;

// --- Preferences --------------------------------------------------------------------------------

class QSettingsPreferencesTest : public ::testing::Test {
 protected:
  QString path() const { return dir_.filePath("prefs.conf"); }
  QTemporaryDir dir_;
};

TEST_F(QSettingsPreferencesTest, TextAndOneElementListKeepTheirTypesAcrossARestart) {
  {
    QSettingsPreferences prefs(path());
    prefs.setString("app_language", "zh-Hans");
    prefs.setStringList("AppleLanguages", {"zh-Hans"});
    prefs.synchronize();
    ASSERT_TRUE(QFile::exists(path()));
  }
  QSettingsPreferences reopened(path());
  EXPECT_EQ(reopened.string("app_language"), "zh-Hans");
  EXPECT_EQ(reopened.stringList("AppleLanguages"), Strings{"zh-Hans"});
  // Each key is read only as the type it was written with.
  EXPECT_FALSE(reopened.stringList("app_language").has_value());
  EXPECT_FALSE(reopened.string("AppleLanguages").has_value());
  EXPECT_FALSE(reopened.string("missing").has_value());
}

TEST_F(QSettingsPreferencesTest, HandEditedValuesOfTheWrongTypeReadAsAbsent) {
  QFile file(path());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[General]\napp_language=en, zh-Hans\nAppleLanguages=en\n");
  file.close();
  QSettingsPreferences prefs(path());
  EXPECT_FALSE(prefs.string("app_language").has_value());
  EXPECT_FALSE(prefs.stringList("AppleLanguages").has_value());

  LanguageManager manager(prefs, {"zh-CN"});
  EXPECT_EQ(manager.currentLanguage().get(), "zh-Hans");
}

TEST_F(QSettingsPreferencesTest, UnwritableStoreNeitherThrowsNorCrashes) {
  // A folder where the file should be: writes are lost, reads find nothing.
  ASSERT_TRUE(QDir(dir_.path()).mkdir("prefs.conf"));
  QSettingsPreferences prefs(path());
  LanguageManager manager(prefs, {"en"});
  manager.setCurrentLanguage("zh-Hans");
  EXPECT_EQ(manager.localizedString("button.stop"), "停止");
}

TEST(QSettingsPreferencesLocation, DefaultStoreLivesInTheUsersConfigFolder) {
  QTemporaryDir config;
  ASSERT_EQ(setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1), 0);
  QSettingsPreferences prefs;
  EXPECT_EQ(prefs.fileName(), config.filePath("Dozewick/Dozewick.conf"));
}

// --- Translation files --------------------------------------------------------------------------

#ifndef DOZEWICK_TEST_TRANSLATIONS_DIR
#define DOZEWICK_TEST_TRANSLATIONS_DIR ""
#endif

class QtTranslationFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QString(DOZEWICK_TEST_TRANSLATIONS_DIR).isEmpty()) {
      GTEST_SKIP() << "the Qt translation tools were not found, so no translation files exist";
    }
  }
};

TEST_F(QtTranslationFiles, FilesAnswerTheirKeysAndEverythingElseComesBackAsTheKey) {
  QtTranslationResources resources(DOZEWICK_TEST_TRANSLATIONS_DIR);
  EXPECT_EQ(resources.languageResource("en", "button.quit"), "Exit Dozewick");
  EXPECT_EQ(resources.languageResource("en", "button.stop"), "button.stop");
  EXPECT_EQ(resources.languageResource("zh-Hans", "button.quit"), "button.quit");
  EXPECT_EQ(resources.mainResource("button.stop"), "Pause");
  EXPECT_EQ(resources.mainResource("button.start"), "button.start");
}

TEST_F(QtTranslationFiles, CodesThatWouldLeaveTheFolderAreNoLanguage) {
  QtTranslationResources resources(QString(DOZEWICK_TEST_TRANSLATIONS_DIR) + "/sub");
  EXPECT_EQ(resources.languageResource("../dozewick_en", "button.quit"), "button.quit");
  EXPECT_EQ(resources.languageResource("", "button.quit"), "button.quit");
}

TEST_F(QtTranslationFiles, LanguageManagerUsesThemBeforeItsTables) {
  QTemporaryDir dir;
  QSettingsPreferences prefs(dir.filePath("prefs.conf"));
  QtTranslationResources resources(DOZEWICK_TEST_TRANSLATIONS_DIR);
  LanguageManager manager(prefs, {"en"}, &resources);
  EXPECT_EQ(manager.localizedString("button.quit"), "Exit Dozewick");
  EXPECT_EQ(manager.localizedString("button.stop"), "Pause");
  EXPECT_EQ(manager.localizedString("button.start"), "Start");
  manager.setCurrentLanguage("zh-Hans");
  EXPECT_EQ(manager.localizedString("button.quit"), "Leave");
  EXPECT_EQ(manager.localizedString("button.start"), "启动");
}

// --- System languages ----------------------------------------------------------------------------

TEST(SystemLanguages, FollowTheLocaleEnvironmentIntoTheStartUpChoice) {
  // This binary runs with a Traditional Chinese locale (see its test definition).
  const Strings languages = systemLanguages();
  ASSERT_FALSE(languages.empty());
  EXPECT_TRUE(languages.front().starts_with("zh")) << languages.front();
}

}  // namespace
}  // namespace dozewick
