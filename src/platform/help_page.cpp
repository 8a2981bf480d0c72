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
  QStringList candidates;
  if (!applicationDir.isEmpty()) {
    candidates << QDir::cleanPath(applicationDir + "/" + DOZEWICK_DATA_RELATIVE_TO_BIN + "/help/" +
                                  kPageName);
  }
#ifdef DOZEWICK_SOURCE_HELP_DIR
  candidates << QDir::cleanPath(QString(DOZEWICK_SOURCE_HELP_DIR) + "/" + kPageName);
#endif
  for (const QString& candidate : candidates) {
    if (QFileInfo(candidate).isFile())
      return QFileInfo(candidate).absoluteFilePath();
  }
  return {};
}

bool openHelpPage(const QString& applicationDir) {
  const QString page = findHelpPage(applicationDir);
  // The desktop's handlers are reached through the GUI application.
  if (page.isEmpty() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

PermissionChecker::Platform desktopPermissionPlatform(std::function<bool()> trustQuery) {
  return {std::move(trustQuery), [] {}, [] { openHelpPage(); }};
}

}  // namespace dozewick
