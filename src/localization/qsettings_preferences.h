#pragma once

#include <QSettings>
#include <QString>

#include "core/preferences.h"

namespace dozewick {

// The user's preferences in the desktop's native store, under the organisation and application
// name "Dozewick" (on Linux an INI file below $XDG_CONFIG_HOME).
class QSettingsPreferences final : public Preferences {
 public:
  QSettingsPreferences();
  // A store in one given file, in the native format.
  explicit QSettingsPreferences(const QString& fileName);

  std::optional<std::string> string(const std::string& key) const override;
  std::optional<std::vector<std::string>> stringList(const std::string& key) const override;
  void setString(const std::string& key, const std::string& value) override;
  void setStringList(const std::string& key, const std::vector<std::string>& value) override;
  void synchronize() override;

  QString fileName() const { return settings_.fileName(); }

 private:
  QSettings settings_;
};

}  // namespace dozewick
