// The user's preferred interface languages, from the locale environment.
#include "localization/system_languages.h"

#include <QLocale>
#include <QStringList>

namespace dozewick {

std::vector<std::string> systemLanguages() {
  std::vector<std::string> languages;
  for (const QString& language : QLocale::system().uiLanguages()) {
    languages.push_back(language.toStdString());
  }
  if (languages.empty())
    languages.push_back("en");
  return languages;
}

}  // namespace dozewick
