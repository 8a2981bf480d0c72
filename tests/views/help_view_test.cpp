// The help window: the page in the interface language, and links only where a browser is.
#include "views/help_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextBrowser>

#include "support/memory_preferences.h"

namespace dozewick::testing {
namespace {

// The application object is the smoke tests' (views_test.cpp), in the same program.

// Takes the browser's place for web addresses, so nothing really opens.
class OpenedUrls : public QObject {
  Q_OBJECT

 public:
  OpenedUrls() { QDesktopServices::setUrlHandler("https", this, "open"); }
  ~OpenedUrls() override { QDesktopServices::unsetUrlHandler("https"); }
  QList<QUrl> urls;

 public slots:
  void open(const QUrl& url) { urls.append(url); }
};

// The help window shows the page's part in the interface language, or says that the page is
// missing; a link leaves for the browser only where there is one, else its address is shown.
TEST(HelpViewTest, TheHelpWindowShowsThePageInTheLanguageAndLinksOnlyWhereABrowserIs) {
  MemoryPreferences preferences;
  LanguageManager language{preferences, {"en-US"}};
  QTemporaryDir folder;
  const QString page = folder.filePath("index.html");
  QFile file(page);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(R"(<nav><a href="#zh">zh</a></nav><section id="en"><h1>Needs</h1></section>
<section id="zh" lang="zh-Hans"><h1>需要</h1></section>)");
  file.close();
  bool browser = false;
  HelpView help(language, page, [&browser] { return browser; });
  help.show();
  const auto shown = [&] { return help.findChild<QTextBrowser*>("page")->toPlainText(); };
  EXPECT_EQ(shown(), "Needs");
  EXPECT_EQ(help.windowTitle(), "Help");
  language.setCurrentLanguage("zh-Hans");
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(shown(), QString::fromUtf8("需要"));

  OpenedUrls opened;
  const QUrl site("https://example.org/dozewick");
  help.follow(site);
  EXPECT_TRUE(opened.urls.isEmpty()) << "no browser";
  EXPECT_TRUE(help.findChild<QLabel*>("note")->text().endsWith(" https://example.org/dozewick"));
  browser = true;
  help.follow(site);
  EXPECT_EQ(opened.urls, QList<QUrl>{site});
  EXPECT_FALSE(help.findChild<QLabel*>("note")->isVisible());

  HelpView missing(language, QString(), [] { return true; });
  EXPECT_EQ(missing.findChild<QTextBrowser*>("page")->toPlainText(),
            QString::fromStdString(language.localizedString("help.missing")));
}

}  // namespace
}  // namespace dozewick::testing

#include "help_view_test.moc"
