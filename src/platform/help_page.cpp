#include "platform/help_page.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>
#include <utility>

#ifndef DOZEWICK_DATA_RELATIVE_TO_BIN
#define DOZEWICK_DATA_RELATIVE_TO_BIN "../share/dozewick"
#endif

namespace dozewick {

namespace {
constexpr const char* kPageName = "index.html";
}  // namespace

QString findHelpPage(const QString& applicationDir) {
  if (applicationDir.isEmpty())
    return {};
  const QFileInfo page(
      QDir::cleanPath(applicationDir + "/" + DOZEWICK_DATA_RELATIVE_TO_BIN + "/help/" + kPageName));
  return page.isFile() ? page.absoluteFilePath() : QString();
}

bool openHelpPage(const QString& applicationDir) {
  const QString page = findHelpPage(applicationDir);
  // The desktop's handlers are reached through the GUI application.
  if (page.isEmpty() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

PermissionChecker::Platform desktopPermissionPlatform(std::function<bool()> trustQuery) {
  return {std::move(trustQuery), [] { return PermissionChecker::PromptResult{}; },
          [] { openHelpPage(); }};
}

}  // namespace dozewick
