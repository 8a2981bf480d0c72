#include "platform/help_page.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include "support/qt_application.h"

namespace dozewick {
namespace {

[[maybe_unused]] const auto* const kEnvironment = testing::addQtApplication<QGuiApplication>();

// Takes the place of the desktop's file handler, so nothing really opens.
class OpenedUrls : public QObject {
  Q_OBJECT

 public:
  OpenedUrls() { QDesktopServices::setUrlHandler("file", this, "open"); }
  ~OpenedUrls() override { QDesktopServices::unsetUrlHandler("file"); }
  QList<QUrl> urls;

 public slots:
  void open(const QUrl& url) { urls.append(url); }
};

QByteArray contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class HelpPageTest : public ::testing::Test {
 protected:
};

TEST_F(HelpPageTest, FromTheBuildTreeTheBuildCopyOpens) {
  const QString page = findHelpPage(DOZEWICK_TEST_PROGRAM_DIR);
  ASSERT_FALSE(page.isEmpty());
  EXPECT_TRUE(page.startsWith(DOZEWICK_TEST_BINARY_DIR "/")) << page.toStdString();
  const QByteArray text = contents(page);
  EXPECT_EQ(text, contents(DOZEWICK_TEST_SOURCE_DIR "/data/help/index.html"));
  for (const char* needed :
       {"GNOME on Xorg", "Plasma (X11)", "echo $XDG_SESSION_TYPE",
        "xprop -root _NET_SUPPORTING_WM_CHECK", "EWMH", "dozewick@dozewick.org",
        "log out and log back in", "注销并重新登录", "lang=\"zh-Hans\""}) {
    EXPECT_TRUE(text.contains(needed)) << needed;
  }
  // Nowhere else: the program holds no path to its source tree.
  EXPECT_EQ(findHelpPage(QDir::tempPath()), QString());

  OpenedUrls opened;
  EXPECT_TRUE(openHelpPage(DOZEWICK_TEST_PROGRAM_DIR));
  ASSERT_EQ(opened.urls.size(), 1);
  EXPECT_EQ(opened.urls.front(), QUrl::fromLocalFile(page));
}

TEST_F(HelpPageTest, FromAnInstallTheInstalledCopyOpens) {
  QTemporaryDir prefix;
  ASSERT_TRUE(prefix.isValid());
  QProcess install;
  install.setProcessChannelMode(QProcess::MergedChannels);
  install.start(DOZEWICK_TEST_CMAKE_COMMAND, {"--install", DOZEWICK_TEST_BINARY_DIR, "--prefix",
                                              prefix.path(), "--component", "help"});
  ASSERT_TRUE(install.waitForFinished(60'000));
  ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();

  const QString bin = prefix.filePath("bin");
  const QString page = findHelpPage(bin);
  EXPECT_EQ(page, prefix.filePath("share/dozewick/help/index.html"));
  EXPECT_EQ(contents(page), contents(DOZEWICK_TEST_SOURCE_DIR "/data/help/index.html"));

  OpenedUrls opened;
  EXPECT_TRUE(openHelpPage(bin));
  ASSERT_EQ(opened.urls.size(), 1);
  EXPECT_EQ(opened.urls.front().toLocalFile(), page);
}

TEST_F(HelpPageTest, TheCheckersDesktopPiecesOpenTheHelpPageAndPromptNothing) {
  OpenedUrls opened;
  int queries = 0;
  PermissionChecker::Platform platform = desktopPermissionPlatform([&] {
    ++queries;
    return true;
  });
  EXPECT_TRUE(platform.trustQuery());
  EXPECT_EQ(queries, 1);
  platform.prompt();
  EXPECT_TRUE(opened.urls.isEmpty());
  platform.openSettings();
  EXPECT_EQ(opened.urls.size(), findHelpPage().isEmpty() ? 0 : 1) << "the page, when there is one";
}

}  // namespace
}  // namespace dozewick

#include "help_page_test.moc"
