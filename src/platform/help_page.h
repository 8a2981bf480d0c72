// The page that explains what Dozewick needs to manage windows, installed beside the program.
#pragma once

#include <QCoreApplication>
#include <QString>

namespace dozewick {

// The page that explains what Dozewick needs to manage windows, next to `applicationDir`
// (../share/dozewick/help when installed; the build tree holds a copy at the same place relative
// to the program). Empty when there is none.
QString findHelpPage(const QString& applicationDir = QCoreApplication::applicationDirPath());

// Opens the help page with the desktop's default handler; false when there is none to open.
bool openHelpPage(const QString& applicationDir = QCoreApplication::applicationDirPath());

}  // namespace dozewick
