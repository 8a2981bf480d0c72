#include "localization/qsettings_preferences.h"

#include <QVariant>
#include <QVariantList>

namespace dozewick {

namespace {

QString qs(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

QSettingsPreferences::QSettingsPreferences()
    : settings_(QSettings::NativeFormat, QSettings::UserScope, "Dozewick", "Dozewick") {}

QSettingsPreferences::QSettingsPreferences(const QString& fileName)
    : settings_(fileName, QSettings::NativeFormat) {}

std::optional<std::string> QSettingsPreferences::string(const std::string& key) const {
  const QVariant value = settings_.value(qs(key));
  if (value.typeId() != QMetaType::QString)
    return std::nullopt;
  return value.toString().toStdString();
}

std::optional<std::vector<std::string>> QSettingsPreferences::stringList(
    const std::string& key) const {
  const QVariant value = settings_.value(qs(key));
  std::vector<std::string> list;
  if (value.typeId() == QMetaType::QStringList) {
    for (const QString& item : value.toStringList())
      list.push_back(item.toStdString());
    return list;
  }
  // A file keeps a list of one text only in this form; plain text would read back as a string.
  if (value.typeId() == QMetaType::QVariantList) {
    for (const QVariant& item : value.toList()) {
      if (item.typeId() != QMetaType::QString)
        return std::nullopt;
      list.push_back(item.toString().toStdString());
    }
    return list;
  }
  return std::nullopt;
}

void QSettingsPreferences::setString(const std::string& key, const std::string& value) {
  settings_.setValue(qs(key), qs(value));
}

void QSettingsPreferences::setStringList(const std::string& key,
                                         const std::vector<std::string>& value) {
  QVariantList list;
  for (const std::string& item : value)
    list.append(qs(item));
  settings_.setValue(qs(key), list);
}

void QSettingsPreferences::synchronize() {
  settings_.sync();
}

}  // namespace dozewick
