#pragma once

#include <QCoreApplication>
#include <QString>
#include <functional>

#include "platform/permission_checker.h"

namespace dozewick {

// The page that explains what Dozewick needs to manage windows, next to `applicationDir`
// (../share/dozewick/help when installed; the build tree holds a copy at the same place relative
// to the program). Empty when there is none.
QString findHelpPage(const QString& applicationDir = QCoreApplication::applicationDirPath());

// Opens the help page with the desktop's default handler; false when there is none to open.
bool openHelpPage(const QString& applicationDir = QCoreApplication::applicationDirPath());

// What the permission checker uses on an X11 desktop: the given trust query, no system prompt
// (X11 has none), and the help page in place of system settings that could grant the trust.
PermissionChecker::Platform desktopPermissionPlatform(std::function<bool()> trustQuery);

}  // namespace dozewick
