// The user's preferences as a small INI file.
#pragma once

#include <QString>
#include <QStringList>
#include <iosfwd>

#include "core/preferences.h"

namespace dozewick {

// The user's preferences as a small INI file, by default Dozewick/Dozewick.conf in the user's
// config folder (where earlier versions kept them through Qt's settings, which it still reads).
// Values are plain text a person can edit, a list as "a, b"; other keys and comments are kept.
// The file is written only when a value really changes, and what cannot be written is dropped:
// the values read are always those on disk.
class PreferencesFile final : public Preferences {
 public:
  // `errors` hears, in one line, that a file that could not be read as settings was moved aside.
  explicit PreferencesFile(std::ostream& errors);
  PreferencesFile(QString fileName, std::ostream& errors);

  static QString defaultFileName();

  std::optional<std::string> string(const std::string& key) const override;
  std::optional<std::vector<std::string>> stringList(const std::string& key) const override;
  void setString(const std::string& key, const std::string& value) override;
  void setStringList(const std::string& key, const std::vector<std::string>& value) override;
  std::optional<std::string> synchronize() override;

  QString fileName() const { return fileName_; }

 private:
  void load();
  qsizetype indexOf(const QString& key) const;
  std::optional<QString> rawValue(const std::string& key) const;
  void setRawValue(const std::string& key, const QString& value);
  std::optional<std::string> save();
  std::optional<std::string> moveAside(const QString& path);

  QString fileName_;
  std::ostream& errors_;
  QStringList lines_;
  QStringList saved_;  // as on disk
  // A file that is there but could not be opened is never replaced: its keys were not read.
  std::optional<std::string> readError_;
  bool unreadable_ = false;
  bool pending_ = false;
};

}  // namespace dozewick
