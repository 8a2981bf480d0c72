// The login item as an XDG Autostart entry.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <string>

#include "platform/launch_at_login.h"

namespace dozewick {

// The login item as an XDG Autostart entry, $XDG_CONFIG_HOME/autostart/dozewick.desktop.
// Status: notRegistered without the file; requiresApproval when the desktop's startup settings
// turned it off (Hidden=true or X-GNOME-Autostart-enabled=false); enabled when its Exec runs
// this program; notFound when its Exec names no executable, or another one. An entry of this name
// whose Exec starts another program is someone else's: it is neither replaced nor removed.
class XdgAutostartService final : public LoginItemService {
 public:
  // `executable`: absolute path of the program that the entry starts.
  explicit XdgAutostartService(QString executable);

  LoginItemStatus status() const override;
  std::optional<std::string> registerItem() override;
  std::optional<std::string> unregisterItem() override;

  // Read anew at each call, so a changed environment is followed.
  static QString autostartDirectory();
  static QString entryPath();

 private:
  QString executable_;
};

namespace desktop_entry {

// The keys of a desktop entry's main group, as written (the first of a key repeated).
using DesktopEntry = std::map<QString, QString>;
// Limits: 64 KiB; a larger file, or one that is not a regular file, is not read as an entry.
inline constexpr qint64 kMaxSize = 64 << 10;
// The keys of the [Desktop Entry] group and their values, the first of each key; comments,
// other groups and lines without '=' are passed over. None past the limit.
std::optional<DesktopEntry> parse(const QByteArray& bytes);
// The main group of the desktop entry at `path`; none when it cannot be read, is too large or is
// no regular file (a pipe would block).
std::optional<DesktopEntry> readMainGroup(const QString& path);
// The value of an Exec key that runs `program` with no arguments, quoted and escaped so that
// any path survives.
QString execValue(const QString& program);
// The arguments of an Exec value as written in the file, with quoting, escapes and %% undone;
// none when it cannot be parsed.
std::optional<QStringList> argumentsOfExecValue(const QString& value);
// The program that an Exec value runs, looking through a leading "env"; none when unclear.
std::optional<QString> programOfExecValue(const QString& value);

}  // namespace desktop_entry

}  // namespace dozewick
