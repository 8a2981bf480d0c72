// Saving and installing into the user's folders, judged by the bytes on disk: the save helper on
// a full, a read-only and a linked place; the GNOME Shell extension's install over whatever
// already stands in its place.
#include "platform/user_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <functional>
#include <map>

#include "localization/language_manager.h"
#include "platform/gnome/gnome_extension.h"
#include "support/memory_preferences.h"
#include "support/scratch_file_system.h"

namespace dozewick {
namespace {

using testing::filesBelow;
using testing::put;
using testing::Tree;

mode_t modeOf(const QString& path) {
  struct stat st {};
  ::stat(QFile::encodeName(path).constData(), &st);
  return st.st_mode & 07777;
}

class UserFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::umask(022);
    ::setenv("HOME", home_.path().toLocal8Bit().constData(), 1);
  }
  void TearDown() override { ::setenv("HOME", realHome_.constData(), 1); }

  QByteArray realHome_ = qgetenv("HOME");
  QTemporaryDir home_;
  QTemporaryDir elsewhere_;  // outside the home folder
};

// One table for the helper every save goes through: what is on disk afterwards, and what was
// said. A failed save keeps every byte and leaves nothing beside the file.
TEST_F(UserFilesTest, ASaveReplacesTheFileWholeOrKeepsEveryByte) {
  const QByteArray old = "[General]\napp_language=en\n";
  const QByteArray fresh = "[General]\napp_language=zh-Hans\n";
  const struct {
    const char* name;
    std::function<bool(testing::ScratchFileSystem&, const QString& file)> layout;  // applies?
    bool saved;
    const char* said;
    mode_t mode;
  } cases[] = {
      {"a new file", [](auto&, auto&) { return true; }, true, "", 0644},
      {"a private file keeps its mode",
       [&old](auto&, const QString& file) {
         put(file, old);
         return ::chmod(QFile::encodeName(file).constData(), 0600) == 0;
       },
       true, "", 0600},
      {"a read-only file is written by root only, and stays read-only",
       [&old](auto&, const QString& file) {
         put(file, old);
         return ::chmod(QFile::encodeName(file).constData(), 0444) == 0;
       },
       ::geteuid() == 0, ::geteuid() == 0 ? "" : "is not writable", 0444},
      {"a full disk",
       [&old](testing::ScratchFileSystem& disk, const QString& file) {
         put(file, old);
         disk.fill();
         return true;
       },
       false, "Could not write ", 0644},
      {"a read-only folder",
       [&old](testing::ScratchFileSystem& disk, const QString& file) {
         put(file, old);
         return disk.makeReadOnly();
       },
       false, "Could not write ", 0644},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ScratchFileSystem disk(home_.filePath(QStringLiteral("disk-%1").arg(&c - cases)));
    const QString file = disk.path() + "/Dozewick.conf";
    if (!c.layout(disk, file))
      continue;
    const Tree before = filesBelow(disk.path());
    const auto said = user_files::write(file, fresh);
    disk.release();
    if (c.saved) {
      EXPECT_EQ(said, std::nullopt) << *said;
      EXPECT_EQ(filesBelow(disk.path()), (Tree{{"Dozewick.conf", fresh}}));
      EXPECT_EQ(modeOf(file), c.mode);
    } else {
      ASSERT_TRUE(said);
      EXPECT_NE(said->find(c.said), std::string::npos) << *said;
      EXPECT_NE(said->find(file.toStdString()), std::string::npos) << *said;
      EXPECT_EQ(filesBelow(disk.path()), before);
    }
  }
}

// A link is written through only to a regular file at home, and stays a link.
TEST_F(UserFilesTest, ALinkLeadsOnlyToAFileAtHome) {
  const QString outside = elsewhere_.filePath("passwd");
  put(outside, "root:x:0:0::/root:/bin/sh\n");
  const QString dotfile = home_.filePath("dots/dozewick.conf");
  put(dotfile, "old\n");
  const QString link = home_.filePath("config/Dozewick.conf");
  QDir().mkpath(home_.filePath("config"));

  ASSERT_TRUE(QFile::link(outside, link));
  const auto refused = user_files::write(link, "new\n");
  ASSERT_TRUE(refused);
  EXPECT_NE(refused->find("which is outside the home folder"), std::string::npos) << *refused;
  EXPECT_EQ(filesBelow(elsewhere_.path()), (Tree{{"passwd", "root:x:0:0::/root:/bin/sh\n"}}));
  QDir().mkpath(home_.filePath("dots/folder"));
  for (const auto& [target, reason] : {std::pair{"dots/folder", "which is not a regular file"},
                                       {"dots/missing", "which does not exist"}}) {
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(home_.filePath(target), link));
    EXPECT_NE(user_files::write(link, "new\n").value_or("").find(reason), std::string::npos);
  }

  QFile::remove(link);
  ASSERT_TRUE(QFile::link(dotfile, link));
  EXPECT_EQ(user_files::write(link, "new\n"), std::nullopt);
  EXPECT_EQ(filesBelow(home_.filePath("config")),
            (Tree{{"Dozewick.conf", "-> " + dotfile.toUtf8()}}));
  EXPECT_EQ(filesBelow(home_.filePath("dots")),
            (Tree{{"dozewick.conf", "new\n"}, {"folder", "/"}}));
}

// --- The GNOME Shell extension
// --------------------------------------------------------------------

class ExtensionInstallTest : public UserFilesTest {
 protected:
  QString place() const { return extensions_ + "/dozewick@dozewick.org"; }
  QString hidden() const {
    return QDir(extensions_)
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System)
        .filter(QRegularExpression("^\\."))
        .join(", ");
  }
  gnome::InstallResult install() {
    gnome::SettingsAccess settings;
    settings.get = [this](const QString&, const QString&) { return std::optional(enabled_); };
    settings.set = [this](const QString&, const QString&, const QString& value) {
      enabled_ = value;
      return true;
    };
    return gnome::installExtension(extensions_, files_, settings);
  }
  static Tree asTree(const QMap<QString, QByteArray>& files) {
    Tree tree;
    for (auto it = files.begin(); it != files.end(); ++it) {
      tree[it.key()] = it.value();
      if (it.key().contains('/'))
        tree[it.key().section('/', 0, 0)] = "/";
    }
    return tree;
  }
  static QByteArray metadata(int version) {
    return QStringLiteral(R"({"uuid": "dozewick@dozewick.org", "version": %1})")
        .arg(version)
        .toUtf8();
  }

  QString extensions_ = home_.filePath("share/gnome-shell/extensions");
  QString enabled_ = "['other@example.org']";
  QMap<QString, QByteArray> files_ =
      gnome::extensionFiles(gnome::readExtensionSources(DOZEWICK_GNOME_SOURCES), 43);
};

TEST_F(ExtensionInstallTest, OnlyDozewicksOwnOlderCopyIsReplacedAndAnythingElseIsLeftAlone) {
  ASSERT_FALSE(files_.isEmpty());
  const QString project = elsewhere_.filePath("my-extension");
  const Tree usersProject{{"extension.js", "// mine\n"},
                          {"metadata.json", metadata(1)},
                          {"notes", "/"},
                          {"notes/todo.txt", "everything\n"}};
  const auto lay = [](const QString& folder, const Tree& tree) {
    for (const auto& [name, bytes] : tree) {
      if (bytes == "/")
        QDir().mkpath(folder + "/" + name);
      else
        put(folder + "/" + name, bytes);
    }
  };
  using Outcome = gnome::InstallOutcome;
  const struct {
    const char* name;
    std::function<void()> layout;
    Outcome outcome;
    bool replaced;
  } cases[] = {
      {"nothing there", [] {}, Outcome::installed, true},
      {"an older copy of its own",
       [&] {
         lay(place(), {{"extension.js", "// old\n"}, {"metadata.json", metadata(1)}});
       },
       Outcome::installed, true},
      {"this very copy", [&] { lay(place(), asTree(files_)); }, Outcome::unchanged, true},
      {"a link to the user's own folder",
       [&] {
         lay(project, usersProject);
         QDir().mkpath(extensions_);
         ASSERT_TRUE(QFile::link(project, place()));
       },
       Outcome::refusedLink, false},
      {"a file of its name", [&] { put(place(), "not a folder\n"); }, Outcome::refusedForeign,
       false},
      {"a copy of its own with something of the user's in it",
       [&] {
         lay(place(), asTree(files_));
         put(place() + "/README", "mine\n");
       },
       Outcome::refusedForeign, false},
      {"a copy of its own that links elsewhere",
       [&] {
         lay(project, usersProject);
         lay(place(), {{"metadata.json", metadata(1)}});
         ASSERT_TRUE(QFile::link(project + "/extension.js", place() + "/extension.js"));
       },
       Outcome::refusedForeign, false},
      {"a newer copy",
       [&] {
         lay(place(),
             {{"metadata.json", metadata(static_cast<int>(gnome::kExtensionVersion) + 1)}});
       },
       Outcome::keptNewer, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QDir(home_.filePath("share")).removeRecursively();
    QDir(project).removeRecursively();
    enabled_ = "['other@example.org']";
    c.layout();
    const Tree there = filesBelow(extensions_);
    const auto result = install();
    EXPECT_EQ(result.outcome, c.outcome) << result.detail.toStdString();
    EXPECT_EQ(result.path, place());
    EXPECT_EQ(hidden(), "") << "nothing half made is left behind";
    if (c.replaced) {
      EXPECT_TRUE(result.ok);
      EXPECT_EQ(filesBelow(place()), asTree(files_));
      EXPECT_EQ(enabled_, "['other@example.org', 'dozewick@dozewick.org']");
    } else {
      EXPECT_FALSE(result.ok);
      EXPECT_EQ(filesBelow(extensions_), there);
      EXPECT_EQ(enabled_, "['other@example.org']");
    }
    if (QFileInfo::exists(project)) {
      EXPECT_EQ(filesBelow(project), usersProject) << "the link's folder, every byte";
    }
  }
}

TEST_F(ExtensionInstallTest, AFullDiskKeepsTheInstalledCopyAndTheUserIsToldWhyInTheirLanguage) {
  testing::ScratchFileSystem disk(home_.filePath("share"));
  const Tree older{{"extension.js", "// old\n"}, {"metadata.json", metadata(1)}};
  for (const auto& [name, bytes] : older)
    put(place() + "/" + name, bytes);
  disk.fill();
  const auto result = install();
  disk.release();
  EXPECT_EQ(result.outcome, gnome::InstallOutcome::failed);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(filesBelow(extensions_), (Tree{{"dozewick@dozewick.org", "/"},
                                           {"dozewick@dozewick.org/extension.js", "// old\n"},
                                           {"dozewick@dozewick.org/metadata.json", metadata(1)}}));
  EXPECT_EQ(enabled_, "['other@example.org']");

  testing::MemoryPreferences preferences;
  LanguageManager language(preferences, {"en-US"});
  const std::string english = gnome::describeInstall(result, language);
  EXPECT_EQ(english.rfind("The extension could not be installed, and nothing was changed: ", 0), 0u)
      << english;

  gnome::InstallResult link{gnome::InstallOutcome::refusedLink, false, false, place(), "/x/y"};
  language.setCurrentLanguage("zh-Hans");
  EXPECT_EQ(gnome::describeInstall(link, language),
            (place() + " 是指向 /x/y 的链接。Dozewick 不会改动它。如需让 Dozewick "
                       "安装其扩展，请删除该链接，然后再次点击“去授权”。")
                .toStdString());
  // Installed for the top-bar icon alone, the user is sent back to that button.
  language.setCurrentLanguage("en");
  gnome::InstallResult foreign{gnome::InstallOutcome::refusedForeign, false, false, place(), {}};
  EXPECT_EQ(gnome::describeInstall(foreign, language, "button.topBarIcon"),
            (place() + " is not Dozewick's extension. Dozewick leaves it as it is. Move it "
                       "elsewhere, then press Show Icon in Top Bar again.")
                .toStdString());
}

}  // namespace
}  // namespace dozewick
