// The login item as an XDG Autostart entry.
#include "platform/xdg_autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

#include "platform/user_files.h"

namespace dozewick {

namespace desktop_entry {

namespace {

// The escapes of a string value: \s \n \t \r \\. Others stay as they are for the Exec rules.
QString unescapeString(const QString& value) {
  QString out;
  out.reserve(value.size());
  for (qsizetype i = 0; i < value.size(); ++i) {
    const QChar c = value[i];
    if (c != '\\' || i + 1 == value.size()) {
      out += c;
      continue;
    }
    const QChar next = value[++i];
    if (next == 's') {
      out += ' ';
    } else if (next == 'n') {
      out += '\n';
    } else if (next == 't') {
      out += '\t';
    } else if (next == 'r') {
      out += '\r';
    } else if (next == '\\') {
      out += '\\';
    } else {
      out += c;
      out += next;
    }
  }
  return out;
}

QString escapeString(const QString& value) {
  QString out;
  out.reserve(value.size() + 8);
  for (const QChar c : value) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

bool isBlank(QChar c) {
  return c == ' ' || c == '\t' || c == '\n';
}

}  // namespace

QString execValue(const QString& program) {
  // Three layers, undone by readers in the opposite order: field codes, quoting, string escapes.
  QString quoted = "\"";
  for (const QChar c : program) {
    if (c == '%') {
      quoted += "%%";
      continue;
    }
    if (c == '"' || c == '`' || c == '$' || c == '\\')
      quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  // GLib-based sessions check that the program exists before they expand %%, so a path with a
  // percent sign goes through env, which they can find. env would take a path holding '=' for
  // a variable; such a path keeps the plain form.
  if (program.contains('%') && !program.contains('='))
    quoted.prepend("env ");
  return escapeString(quoted);
}

std::optional<QStringList> argumentsOfExecValue(const QString& value) {
  const QString line = unescapeString(value);
  QStringList arguments;
  qsizetype i = 0;
  for (;;) {
    while (i < line.size() && isBlank(line[i]))
      ++i;
    if (i == line.size())
      break;
    QString argument;
    if (line[i] == '"') {
      for (++i;; ++i) {
        if (i == line.size())
          return std::nullopt;  // unterminated quote
        const QChar c = line[i];
        if (c == '"')
          break;
        if (c == '\\' && i + 1 < line.size()) {
          const QChar next = line[i + 1];
          if (next == '"' || next == '`' || next == '$' || next == '\\') {
            argument += next;
            ++i;
            continue;
          }
        }
        argument += c;
      }
      ++i;
    } else {
      for (; i < line.size() && !isBlank(line[i]); ++i) {
        if (line[i] == '\\' && i + 1 < line.size())
          ++i;
        argument += line[i];
      }
    }
    arguments << argument.replace("%%", "%");
  }
  return arguments;
}

std::optional<DesktopEntry> parse(const QByteArray& bytes) {
  if (bytes.size() > kMaxSize)
    return std::nullopt;
  DesktopEntry entry;
  bool inMainGroup = false;
  const QStringList lines = QString::fromUtf8(bytes).split('\n');
  for (QString line : lines) {
    if (line.endsWith('\r'))
      line.chop(1);
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith('#'))
      continue;
    if (trimmed.startsWith('[')) {
      inMainGroup = trimmed == "[Desktop Entry]";
      continue;
    }
    const qsizetype equals = line.indexOf('=');
    if (!inMainGroup || equals < 0)
      continue;
    const QString key = line.left(equals).trimmed();
    QString value = line.mid(equals + 1);
    while (!value.isEmpty() && (value.front() == ' ' || value.front() == '\t'))
      value.remove(0, 1);
    entry.try_emplace(key, value);
  }
  return entry;
}

std::optional<QString> programOfExecValue(const QString& value) {
  const auto arguments = argumentsOfExecValue(value);
  if (!arguments || arguments->isEmpty())
    return std::nullopt;
  qsizetype index = 0;
  // "env [NAME=value...] program" runs the program.
  if (QFileInfo(arguments->front()).fileName() == "env") {
    for (index = 1; index < arguments->size(); ++index) {
      const QString& argument = arguments->at(index);
      if (!argument.contains('=') && !argument.startsWith('-'))
        break;
    }
    // Alone, env is the program itself (as this program's own file may be called).
    if (arguments->size() == 1)
      return arguments->front();
    if (index == arguments->size())
      return std::nullopt;
  }
  const QString program = arguments->at(index);
  if (program.isEmpty())
    return std::nullopt;
  return program;
}

std::optional<DesktopEntry> readMainGroup(const QString& path) {
  QFile file(path);
  if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
    return std::nullopt;
  return parse(file.read(kMaxSize + 1));
}

}  // namespace desktop_entry

namespace {

using Entry = desktop_entry::DesktopEntry;

bool isTrue(const QString& value) {
  const QString v = value.trimmed();
  return v == "true" || v == "1";
}

bool isFalse(const QString& value) {
  const QString v = value.trimmed();
  return v == "false" || v == "0";
}

QString resolveProgram(const QString& program) {
  if (program.contains('/'))
    return program;
  return QStandardPaths::findExecutable(program);
}

std::string describe(const QString& what, const QString& path, const QString& reason) {
  return (what + " " + path + ": " + reason).toStdString();
}

// The program another entry of our name starts, when it is not this one (under any path): such
// an entry was written by someone else, and is theirs. Empty for one of ours, or one so broken
// (empty, no Exec) that it starts nothing.
QString foreignProgram(const QString& path, const QString& executable) {
  const auto entry = desktop_entry::readMainGroup(path);
  if (!entry)
    return {};
  const auto exec = entry->find("Exec");
  if (exec == entry->end())
    return {};
  const auto program = desktop_entry::programOfExecValue(exec->second);
  if (!program)
    return {};
  const QString name = QFileInfo(*program).fileName();
  if (name == "dozewick" || name == QFileInfo(executable).fileName())
    return {};
  const QString ours = QFileInfo(executable).canonicalFilePath();
  if (!ours.isEmpty() && QFileInfo(resolveProgram(*program)).canonicalFilePath() == ours)
    return {};
  return *program;
}

}  // namespace

XdgAutostartService::XdgAutostartService(QString executable) : executable_(std::move(executable)) {}

QString XdgAutostartService::autostartDirectory() {
  QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
  // The base directory specification says relative paths are invalid and to be ignored.
  if (config.isEmpty() || QDir::isRelativePath(config))
    config = QDir::homePath() + "/.config";
  return QDir::cleanPath(config + "/autostart");
}

QString XdgAutostartService::entryPath() {
  return autostartDirectory() + "/dozewick.desktop";
}

LoginItemStatus XdgAutostartService::status() const {
  const QString path = entryPath();
  if (!QFileInfo::exists(path))
    return LoginItemStatus::notRegistered;
  const auto entry = desktop_entry::readMainGroup(path);
  if (!entry)
    return LoginItemStatus::notFound;
  const auto value = [&](const char* key) {
    const auto it = entry->find(key);
    return it == entry->end() ? QString() : it->second;
  };
  if (isTrue(value("Hidden")) || isFalse(value("X-GNOME-Autostart-enabled"))) {
    return LoginItemStatus::requiresApproval;
  }
  const auto program = desktop_entry::programOfExecValue(value("Exec"));
  if (!program)
    return LoginItemStatus::notFound;
  const QFileInfo target(resolveProgram(*program));
  if (!target.isFile() || !target.isExecutable())
    return LoginItemStatus::notFound;
  const QString ours = QFileInfo(executable_).canonicalFilePath();
  if (ours.isEmpty() || target.canonicalFilePath() != ours)
    return LoginItemStatus::notFound;
  return LoginItemStatus::enabled;
}

std::optional<std::string> XdgAutostartService::registerItem() {
  const QString path = entryPath();
  // Refuse a link that leads out of the home folder before anything is created.
  if (auto refused = user_files::writableTarget(path).error)
    return refused;
  if (const QString other = foreignProgram(path, executable_); !other.isEmpty())
    return (path + " starts another program (" + other + "); it is left as it is").toStdString();
  const QString directory = autostartDirectory();
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(directory).data()),
                                      error);
  if (error) {
    return describe("Could not create the folder", directory,
                    QString::fromLocal8Bit(error.message()));
  }
  const QString text =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Dozewick\n"
      "Comment=Minimizes windows you have not used for a minute\n"
      "Exec=" +
      desktop_entry::execValue(executable_) +
      "\n"
      "Icon=dozewick\n"
      "Terminal=false\n"
      "X-GNOME-Autostart-enabled=true\n";
  return user_files::write(path, text.toUtf8());
}

std::optional<std::string> XdgAutostartService::unregisterItem() {
  const QString path = entryPath();
  const QFileInfo info(path);
  if (!info.exists() && !info.isSymLink())
    return std::nullopt;
  // Someone else's entry does not start this program: there is nothing of ours to remove.
  if (!foreignProgram(path, executable_).isEmpty())
    return std::nullopt;
  QFile file(path);
  if (!file.remove())
    return describe("Could not remove", path, file.errorString());
  return std::nullopt;
}

}  // namespace dozewick
