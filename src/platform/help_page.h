// The page that explains what Dozewick needs to manage windows, installed beside the program.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

namespace dozewick {

// The page that explains what Dozewick needs to manage windows, next to `applicationDir`
// (../share/dozewick/help when installed; the build tree holds a copy at the same place relative
// to the program). Empty when there is none.
QString findHelpPage(const QString& applicationDir = QCoreApplication::applicationDirPath());

// Opens the help page with the desktop's default handler; false when there is none to open.
bool openHelpPage(const QString& applicationDir = QCoreApplication::applicationDirPath());

// Whether a web browser is set up to open links: $BROWSER names one, or the desktop's
// associations (mimeapps.list in the configuration or application folders, the applications'
// mimeinfo.cache) give a handler of web addresses.
bool hasWebBrowser(const QStringList& configDirs, const QStringList& dataDirs,
                   const QString& browserVariable);
// The same for this user's desktop.
bool hasWebBrowser();

}  // namespace dozewick
