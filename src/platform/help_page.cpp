// The page that explains what Dozewick needs to manage windows, installed beside the program.
#include "platform/help_page.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QUrl>

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

namespace {

// A line "x-scheme-handler/http(s)=something.desktop;" in an association file.
bool namesWebHandler(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
    return false;
  while (!file.atEnd()) {
    const QByteArray line = file.readLine().trimmed();
    for (const QByteArray scheme : {"x-scheme-handler/https=", "x-scheme-handler/http="}) {
      if (line.startsWith(scheme) && line.size() > scheme.size() + 1)
        return true;
    }
  }
  return false;
}

}  // namespace

bool hasWebBrowser(const QStringList& configDirs, const QStringList& dataDirs,
                   const QString& browserVariable) {
  if (!browserVariable.trimmed().isEmpty())
    return true;
  for (const QString& dir : configDirs) {
    if (namesWebHandler(dir + QStringLiteral("/mimeapps.list")))
      return true;
  }
  for (const QString& dir : dataDirs) {
    if (namesWebHandler(dir + QStringLiteral("/applications/mimeapps.list")) ||
        namesWebHandler(dir + QStringLiteral("/applications/mimeinfo.cache")))
      return true;
  }
  return false;
}

bool hasWebBrowser() {
  return hasWebBrowser(QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation),
                       QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation),
                       qEnvironmentVariable("BROWSER"));
}

bool openHelpPage(const QString& applicationDir) {
  const QString page = findHelpPage(applicationDir);
  // The desktop's handlers are reached through the GUI application.
  if (page.isEmpty() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

}  // namespace dozewick
