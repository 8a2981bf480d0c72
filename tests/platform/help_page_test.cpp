// The help page: found in the build tree and in an install, and opened by every backend.
#include "platform/help_page.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include "platform/backend_factory.h"
#include "support/qt_application.h"

namespace dozewick {
namespace {

// The one application object of all the platform tests.
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

TEST(HelpPageTest, TheBuildCopyFromTheBuildTreeAndTheInstalledCopyFromAnInstall) {
  const QString source = QDir::cleanPath(DOZEWICK_TEST_SOURCE_DIR "/data/help/index.html");
  const QString page = findHelpPage(DOZEWICK_TEST_PROGRAM_DIR);
  ASSERT_FALSE(page.isEmpty());
  EXPECT_TRUE(page.startsWith(DOZEWICK_TEST_BINARY_DIR "/")) << page.toStdString();
  EXPECT_EQ(contents(page), contents(source));
  // Nowhere else: the program holds no path to its source tree.
  EXPECT_EQ(findHelpPage(QDir::tempPath()), QString());

  // The permission checker's settings button opens it, through the backend; where no backend
  // fits, Authorize has nothing to do.
  OpenedUrls opened;
  EXPECT_TRUE(openHelpPage(DOZEWICK_TEST_PROGRAM_DIR));
  EXPECT_EQ(opened.urls, QList<QUrl>{QUrl::fromLocalFile(page)});
  const auto backend = makeBackend(BackendKind::none, {});
  EXPECT_EQ(backend->readiness(), Readiness::unsupported);
  EXPECT_TRUE(backend->authorize().message.empty());
  EXPECT_EQ(opened.urls.size(), 1) << "no prompt";
  backend->showHelp();
  EXPECT_EQ(opened.urls.size(), findHelpPage().isEmpty() ? 1 : 2) << "the page, when there is one";
  // Where the program has a help window of its own, that shows instead.
  int windows = 0;
  makeBackend(BackendKind::none, {.showHelp = [&windows] { ++windows; }})->showHelp();
  EXPECT_EQ(windows, 1);
  EXPECT_EQ(opened.urls.size(), findHelpPage().isEmpty() ? 1 : 2);

  QTemporaryDir prefix;
  QProcess install;
  install.setProcessChannelMode(QProcess::MergedChannels);
  install.start(DOZEWICK_TEST_CMAKE_COMMAND, {"--install", DOZEWICK_TEST_BINARY_DIR, "--prefix",
                                              prefix.path(), "--component", "help"});
  ASSERT_TRUE(install.waitForFinished(60'000));
  ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
  EXPECT_EQ(findHelpPage(prefix.filePath("bin")),
            prefix.filePath("share/dozewick/help/index.html"));
}

// A browser is set up when $BROWSER names one or an association file names a handler of web
// addresses, in the configuration folder or among the applications.
TEST(HelpPageTest, AWebBrowserIsFoundWhereTheDesktopNamesOne) {
  struct Case {
    const char* file;  // relative to the scratch folder: config/... or data/...
    const char* text;
    const char* browser;
    bool found;
  };
  const Case cases[] = {
      {nullptr, nullptr, "", false},
      {nullptr, nullptr, "firefox", true},
      {"config/mimeapps.list", "[Default Applications]\nx-scheme-handler/https=web.desktop\n", "",
       true},
      {"data/applications/mimeapps.list", "[Added Associations]\nx-scheme-handler/http=w;\n", "",
       true},
      {"data/applications/mimeinfo.cache", "[MIME Cache]\ntext/plain=editor.desktop;\n", "", false},
      {"data/applications/mimeinfo.cache", "[MIME Cache]\nx-scheme-handler/https=\n", "", false},
      {"data/applications/mimeinfo.cache", "[MIME Cache]\nx-scheme-handler/https=w;\n", "", true},
  };
  for (const Case& c : cases) {
    QTemporaryDir scratch;
    QDir(scratch.path()).mkpath("config");
    QDir(scratch.path()).mkpath("data/applications");
    if (c.file) {
      QFile file(scratch.filePath(c.file));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(c.text);
    }
    EXPECT_EQ(hasWebBrowser({scratch.filePath("config")}, {scratch.filePath("data")}, c.browser),
              c.found)
        << (c.file ? c.file : "no file") << " " << (c.text ? c.text : "") << c.browser;
  }
}

}  // namespace
}  // namespace dozewick

#include "help_page_test.moc"
