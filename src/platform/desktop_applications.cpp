// The applications with windows on screen, named as the user knows them.
#include "platform/desktop_applications.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

#include "core/window_rules.h"
#include "platform/xdg_autostart.h"

namespace dozewick {

namespace {

QString key(QString name) {
  if (name.endsWith(QStringLiteral(".desktop")))
    name.chop(8);
  return name.toCaseFolded();
}

QString valueOf(const desktop_entry::DesktopEntry& entry, const QString& key) {
  const auto it = entry.find(key);
  return it == entry.end() ? QString() : it->second.trimmed();
}

}  // namespace

DesktopApplications::DesktopApplications(QStringList folders) {
  for (const QString& folder : folders) {
    QDirIterator files(folder, {QStringLiteral("*.desktop")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
      const QString path = files.next();
      const auto entry = desktop_entry::readMainGroup(path);
      if (!entry || valueOf(*entry, QStringLiteral("Hidden")) == QStringLiteral("true") ||
          valueOf(*entry, QStringLiteral("Type")) != QStringLiteral("Application")) {
        continue;
      }
      Entry known{valueOf(*entry, QStringLiteral("Name")),
                  valueOf(*entry, QStringLiteral("Name[zh_CN]")),
                  valueOf(*entry, QStringLiteral("Icon"))};
      if (known.chineseName.isEmpty())
        known.chineseName = valueOf(*entry, QStringLiteral("Name[zh]"));
      // The user's folder comes first and overrides the system's entries of the same name.
      const QString windowClass = valueOf(*entry, QStringLiteral("StartupWMClass"));
      if (!windowClass.isEmpty())
        byClass_.try_emplace(key(windowClass), known);
      byFileName_.try_emplace(key(QFileInfo(path).fileName()), known);
    }
  }
}

QStringList DesktopApplications::defaultFolders() {
  return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

KnownApplication DesktopApplications::lookUp(const std::string& appName,
                                             const std::string& language) const {
  KnownApplication known{appName, QString::fromStdString(appName), {}};
  const QString wanted = key(known.name);
  const Entry* found = nullptr;
  for (const auto* index : {&byClass_, &byFileName_}) {
    if (const auto it = index->find(wanted); !found && it != index->end())
      found = &it->second;
  }
  if (!found || found->name.isEmpty())
    return known;
  const Entry& entry = *found;
  known.name =
      language == "zh-Hans" && !entry.chineseName.isEmpty() ? entry.chineseName : entry.name;
  known.icon = entry.icon;
  return known;
}

std::vector<std::string> applicationsOnScreen(WindowSystem& windows) {
  std::vector<std::string> names;
  for (const auto& window : getVisibleWindows(windows)) {
    if (std::find(names.begin(), names.end(), window.appName) == names.end())
      names.push_back(window.appName);
  }
  return names;
}

}  // namespace dozewick
