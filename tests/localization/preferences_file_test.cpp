// The pieces under the language manager: the preferences file and the system's language list.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "localization/language_manager.h"
#include "localization/preferences_file.h"
#include "localization/system_languages.h"
#include "localization/user_settings.h"
#include "support/scratch_file_system.h"

namespace dozewick {
namespace {

using Strings = std::vector<std::string>;
using testing::put;

// --- Preferences --------------------------------------------------------------------------------

class PreferencesFileTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("HOME", dir_.path().toLocal8Bit().constData(), 1); }
  void TearDown() override { setenv("HOME", realHome_.constData(), 1); }
  QString path() const { return dir_.filePath("Dozewick/Dozewick.conf"); }
  static QByteArray read(const QString& file) {
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("(unreadable)");
  }
  // What identifies one version of the file: replacing it makes a new inode.
  static std::pair<ino_t, qint64> version(const QString& file) {
    struct stat st {};
    stat(QFile::encodeName(file).constData(), &st);
    return {st.st_ino, st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec};
  }

  QByteArray realHome_ = qgetenv("HOME");
  QTemporaryDir dir_;
  std::ostringstream errors_;
  std::ostringstream out_;
};

TEST_F(PreferencesFileTest, ValuesArePlainTextWrittenOnlyWhenTheyChange) {
  {
    PreferencesFile prefs(path(), errors_);
    LanguageManager manager(prefs, {"en-US"}, &out_);
    manager.setCurrentLanguage("zh-Hans");
  }
  EXPECT_EQ(read(path()), "[General]\napp_language=zh-Hans\n");
  const auto written = version(path());
  {
    PreferencesFile prefs(path(), errors_);
    LanguageManager manager(prefs, {"en-US"}, &out_);
    EXPECT_EQ(manager.currentLanguage().get(), "zh-Hans");
    manager.setCurrentLanguage("zh-Hans");
  }
  EXPECT_EQ(version(path()), written) << "a start that changes nothing writes nothing";
  EXPECT_EQ(errors_.str() + out_.str(), "");
}

TEST_F(PreferencesFileTest, AFileFromQtsSettingsIsReadAndItsOtherContentKept) {
  put(path(),
      "; kept\n[General]\napp_language=zh-Hans\nAppleLanguages=@Variant(\\0\\0\\0\\t)\n"
      "\n[Window]\napp_language=en\n");
  PreferencesFile prefs(path(), errors_);
  EXPECT_FALSE(prefs.stringList("AppleLanguages").has_value());
  LanguageManager manager(prefs, {"en-US"});
  EXPECT_EQ(manager.currentLanguage().get(), "zh-Hans");
  manager.setCurrentLanguage("en");
  EXPECT_EQ(read(path()),
            "; kept\n[General]\napp_language=en\nAppleLanguages=@Variant(\\0\\0\\0\\t)\n\n"
            "[Window]\napp_language=en\n");

  EXPECT_EQ(errors_.str(), "");
}

TEST_F(PreferencesFileTest, AFileThatIsNoSettingsIsMovedAsideOnceWithOneLine) {
  QByteArray noise(4096, '\0');
  for (int i = 0; i < noise.size(); ++i)
    noise[i] = char((i * 7919 + 13) % 251);
  const QByteArray huge = QByteArray("[General]\n") + QByteArray(2 << 20, 'k') + "=v\n";
  for (const QByteArray& content : {noise, huge, QByteArray("app_language\n")}) {
    SCOPED_TRACE(content.size());
    QDir(dir_.filePath("Dozewick")).removeRecursively();
    put(path(), content);
    std::ostringstream errors;
    {
      PreferencesFile prefs(path(), errors);
      LanguageManager manager(prefs, {"en-US"});
      EXPECT_EQ(read(path()), content) << "a start writes nothing";
      manager.setCurrentLanguage("zh-Hans");
    }
    const QStringList aside = QDir(dir_.filePath("Dozewick")).entryList({"Dozewick.conf.*"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(aside[0].startsWith("Dozewick.conf.unreadable-")) << aside[0].toStdString();
    EXPECT_EQ(read(dir_.filePath("Dozewick/" + aside[0])), content);
    EXPECT_EQ(read(path()), "[General]\napp_language=zh-Hans\n");
    const std::string said = errors.str();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(aside[0].toStdString()), std::string::npos) << said;

    PreferencesFile again(path(), errors);
    LanguageManager restarted(again, {"en-US"});
    EXPECT_EQ(errors.str(), said);
  }
}

// What cannot be written is reported with its reason, every byte on disk stays, and the
// interface keeps showing what is saved. Which links are followed, and a full disk, are the
// user files' rules.
TEST_F(PreferencesFileTest, UnwritablePlacesAreReportedAndNothingIsLost) {
  put(dir_.filePath("Dozewick"), "x");
  const auto before = testing::filesBelow(dir_.path());
  std::ostringstream out;
  PreferencesFile prefs(path(), errors_);
  LanguageManager manager(prefs, {"en-US"}, &out);
  manager.setCurrentLanguage("zh-Hans");
  EXPECT_EQ(testing::filesBelow(dir_.path()), before);
  EXPECT_EQ(manager.localizedString("button.stop"), "Stop");
  EXPECT_EQ(prefs.string("app_language"), std::nullopt) << "what is read is what is on disk";
  EXPECT_NE(manager.saveError().get().find("Could not create the folder"), std::string::npos)
      << manager.saveError().get();
  EXPECT_EQ(out.str(), "Failed to save the language: " + manager.saveError().get() + "\n");
  EXPECT_EQ(errors_.str(), "");
}

// Each everyday setting as written by hand: what cannot be read as a value reads as the default,
// and stays on disk as it was while another setting is saved.
TEST_F(PreferencesFileTest, SettingsThatCannotBeReadAreTheirDefaultsAndStayOnDisk) {
  const struct {
    const char* line;
    bool start;
    double idle;
    std::size_t protectedCount;
    Strings neverHide;
  } cases[] = {
      {"start_at_launch=true", true, 60, 3, {}},
      {"start_at_launch=yes", false, 60, 3, {}},
      {"idle_seconds=30", false, 30, 3, {}},
      {"idle_seconds = 90 ", false, 90, 3, {}},
      {"idle_seconds=29", false, 60, 3, {}},
      {"idle_seconds=3601", false, 60, 3, {}},
      {"idle_seconds=1e3", false, 60, 3, {}},
      {"idle_seconds=99999999999999999999", false, 60, 3, {}},
      {"protected_windows=0", false, 60, 0, {}},
      {"protected_windows=11", false, 60, 3, {}},
      {"protected_windows=-1", false, 60, 3, {}},
      {"never_hide=firefox, \"Music Player\", firefox, ",
       false,
       60,
       3,
       {"firefox", "Music Player"}},
      {"never_hide=\"unterminated", false, 60, 3, {}},
      {"never_hide=@Variant(\\0)", false, 60, 3, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const QByteArray written = QByteArray("[General]\n") + c.line + "\n";
    put(path(), written);
    PreferencesFile prefs(path(), errors_);
    UserSettings settings(prefs);
    EXPECT_EQ(settings.startAtLaunch()(), c.start);
    EXPECT_EQ(settings.policy()().inactiveThreshold, c.idle);
    EXPECT_EQ(settings.policy()().protectedWindowCount, c.protectedCount);
    EXPECT_EQ(settings.policy()().neverHide, c.neverHide);
    EXPECT_EQ(read(path()), written) << "reading writes nothing";
    const bool list = QByteArray(c.line).startsWith("never_hide");
    if (list)
      settings.setIdleSeconds(1800);
    else
      settings.keep("xterm");
    EXPECT_EQ(read(path()), written + (list ? "idle_seconds=1800\n" : "never_hide=xterm\n"));
  }
  EXPECT_EQ(errors_.str(), "");
}

TEST_F(PreferencesFileTest, TheDefaultFileLivesInTheUsersConfigFolder) {
  ASSERT_EQ(setenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit().constData(), 1), 0);
  EXPECT_EQ(PreferencesFile(errors_).fileName(), path());
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
