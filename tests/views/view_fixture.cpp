#include "view_fixture.h"

#include "support/qt_application.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

namespace dozewick::testing {

namespace {

[[maybe_unused]] const auto* const kEnvironment = addQtApplication<QApplication>();

}  // namespace

ViewsTest::ViewsTest() {
  PermissionChecker::Platform platform;
  platform.trustQuery = [this] {
    ++trustQueries;
    return trusted;
  };
  platform.prompt = [this] { ++prompts; };
  platform.openSettings = [this] { ++settingsOpened; };
  checker = PermissionChecker::create(runtime, language, std::move(platform));
  manager = WindowManager::create(runtime.clock(), runtime, windows, *checker);
  launchAtLogin = std::make_unique<LaunchAtLoginManager>(runtime, loginItems, out);
  services = std::make_unique<ViewServices>(
      ViewServices{*manager, *checker, language, *launchAtLogin, runtime, [this] { ++quitCalls; },
                   "/usr/local/bin/dozewick"});
  settle();
}

ViewsTest::~ViewsTest() {
  settle();
  manager->stop();
}

void ViewsTest::settle() {
  for (int round = 0; round < 20; ++round) {
    const bool busy = runtime.pendingTaskCount() > 0;
    runtime.runPending();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!busy && runtime.pendingTaskCount() == 0)
      break;
  }
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

void ViewsTest::setTrusted(bool value) {
  trusted = value;
  checker->checkPermissionAsync(nullptr);
  settle();
}

void ViewsTest::switchLanguage(const std::string& code) {
  language.setCurrentLanguage(code);
  settle();
}

void ViewsTest::screenshot(QWidget& widget, const QString& name) {
  QDir().mkpath(QStringLiteral(DOZEWICK_SCREENSHOT_DIR));
  const QPixmap picture = widget.grab();
  EXPECT_TRUE(picture.save(QStringLiteral(DOZEWICK_SCREENSHOT_DIR "/") + name + ".png"))
      << name.toStdString();
}

}  // namespace dozewick::testing
