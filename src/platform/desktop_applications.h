// The applications with windows on screen, named as the user knows them.
#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <string>
#include <vector>

#include "core/window_system.h"

namespace dozewick {

// An application as the settings show it.
struct KnownApplication {
  std::string appName;  // as the window listing names it (the window class): what is kept
  QString name;         // its desktop entry's name in the interface language, else appName
  QString icon;         // the entry's icon, a theme name or a path; empty without an entry
};

// The installed desktop entries, read once, matched to window classes the way task bars do: by
// StartupWMClass, else by the entry's file name, ignoring case ("org.gnome.Nautilus.desktop",
// "firefox").
class DesktopApplications {
 public:
  // `folders`: the applications folders, the user's first; by default the XDG ones.
  explicit DesktopApplications(QStringList folders = defaultFolders());
  static QStringList defaultFolders();

  // `language`: "en" or "zh-Hans".
  KnownApplication lookUp(const std::string& appName, const std::string& language) const;

 private:
  struct Entry {
    QString name;
    QString chineseName;
    QString icon;
  };
  std::map<QString, Entry> byClass_;
  std::map<QString, Entry> byFileName_;
};

// The applications of the windows listed now, each once, in the listing's order.
std::vector<std::string> applicationsOnScreen(WindowSystem& windows);

}  // namespace dozewick
