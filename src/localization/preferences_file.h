// The user's preferences as a small INI file.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <iosfwd>
#include <optional>

#include "core/preferences.h"

namespace dozewick {

// The user's preferences as a small INI file, by default Dozewick/Dozewick.conf in the user's
// config folder (where earlier versions kept them through Qt's settings, which it still reads).
// Values are plain text a person can edit, a list as "a, b"; other keys and comments are kept.
// The file is written only when a value really changes, and what cannot be written is dropped:
// the values read are always those on disk.
// The text of a preferences file. Limits: 1 MiB of UTF-8 without control characters but tabs
// and line ends; a larger or other file is moved aside when the preferences are next saved.
namespace preferences_text {
inline constexpr qint64 kMaxSize = 1 << 20;
// Its lines; nullopt unless every line is blank, a comment, a [section] or key=value.
std::optional<QStringList> parseLines(const QByteArray& bytes);
// The items of a value: separated by commas, each trimmed, or in double quotes with \" \\ \n
// \t \xHH escapes. None for the markers of Qt's binary values (@Variant(...) and the like).
std::optional<QStringList> decodeItems(const QString& raw);
// An item as decodeItems reads it back, quoted unless it is a plain word.
QString encodeItem(const QString& item);
}  // namespace preferences_text

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
