// Dozewick's GNOME Shell extension: its version, its files, and installing it.
#include "platform/gnome/gnome_extension.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace dozewick::gnome {

namespace {

const QByteArray kMarker = "// @shared@\n";
const QString kShellSchema = QStringLiteral("org.gnome.shell");
const QString kEnabledKey = QStringLiteral("enabled-extensions");

QByteArray metadata(int shellMajor) {
  QJsonArray versions;
  if (shellMajor < 45) {
    versions = {QStringLiteral("43"), QStringLiteral("44")};
  } else {
    for (int v = 45; v <= std::max(shellMajor, 49); ++v) {
      versions.append(QString::number(v));
    }
  }
  const QJsonObject object{
      {QStringLiteral("uuid"), QString::fromLatin1(kExtensionUuid)},
      {QStringLiteral("name"), QStringLiteral("Dozewick")},
      {QStringLiteral("description"),
       QStringLiteral("Lets Dozewick list the windows and iconify those left alone.")},
      {QStringLiteral("shell-version"), versions},
      {QStringLiteral("version"), static_cast<int>(kExtensionVersion)},
  };
  return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

bool sameContents(const QString& folder, const QMap<QString, QByteArray>& files) {
  QStringList present;
  for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
       it.hasNext();) {
    present << QDir(folder).relativeFilePath(it.next());
  }
  present.sort();
  if (present != files.keys()) {
    return false;
  }
  for (auto it = files.begin(); it != files.end(); ++it) {
    QFile file(QDir(folder).filePath(it.key()));
    if (!file.open(QIODevice::ReadOnly) || file.readAll() != it.value()) {
      return false;
    }
  }
  return true;
}

QString runTool(const QString& program, const QStringList& arguments, bool* ok) {
  QProcess process;
  process.start(program, arguments);
  *ok = process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
        process.exitCode() == 0;
  return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

}  // namespace

std::optional<int> shellMajorVersion(const QString& versionOutput) {
  static const QRegularExpression pattern(QStringLiteral("^GNOME Shell (\\d+)(?:\\.|\\s|$)"));
  const auto match = pattern.match(versionOutput.trimmed());
  if (!match.hasMatch()) {
    return std::nullopt;
  }
  bool ok = false;
  const int major = match.captured(1).toInt(&ok);
  return ok && major > 0 ? std::optional<int>(major) : std::nullopt;
}

QMap<QString, QByteArray> extensionFiles(const ExtensionSources& sources, int shellMajor) {
  QByteArray entry = shellMajor >= 45 ? sources.moduleEntry : sources.legacyEntry;
  const qsizetype at = entry.indexOf(kMarker);
  if (at < 0 || sources.shared.isEmpty()) {
    return {};
  }
  entry.replace(at, kMarker.size(), sources.shared);
  QMap<QString, QByteArray> files{{QStringLiteral("extension.js"), entry},
                                  {QStringLiteral("metadata.json"), metadata(shellMajor)}};
  for (auto it = sources.icons.begin(); it != sources.icons.end(); ++it) {
    files.insert(QStringLiteral("icons/") + it.key(), it.value());
  }
  return files;
}

ExtensionSources readExtensionSources(const QString& folder) {
  const auto read = [](const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  };
  const QDir dir(folder);
  ExtensionSources sources{read(dir.filePath(QStringLiteral("shared.js"))),
                           read(dir.filePath(QStringLiteral("entry-legacy.js"))),
                           read(dir.filePath(QStringLiteral("entry-module.js"))),
                           {}};
  const QDir icons(dir.filePath(QStringLiteral("icons")));
  for (const QString& name : icons.entryList({QStringLiteral("*.svg")}, QDir::Files)) {
    sources.icons.insert(name, read(icons.filePath(name)));
  }
  return sources;
}

std::optional<QStringList> parseStringArray(const QString& text) {
  QString rest = text.trimmed();
  if (rest.startsWith(QStringLiteral("@as"))) {
    rest = rest.mid(3).trimmed();
  }
  if (!rest.startsWith(u'[') || !rest.endsWith(u']')) {
    return std::nullopt;
  }
  QStringList items;
  qsizetype i = 1;
  const qsizetype end = rest.size() - 1;
  const auto skipSpace = [&] {
    while (i < end && rest[i].isSpace())
      ++i;
  };
  skipSpace();
  while (i < end) {
    const QChar quote = rest[i];
    if (quote != u'\'' && quote != u'"') {
      return std::nullopt;
    }
    QString item;
    ++i;
    while (i < end && rest[i] != quote) {
      if (rest[i] == u'\\' && i + 1 < end) {
        ++i;
      }
      item += rest[i++];
    }
    if (i >= end) {
      return std::nullopt;
    }
    ++i;
    items << item;
    skipSpace();
    if (i < end) {
      if (rest[i] != u',') {
        return std::nullopt;
      }
      ++i;
      skipSpace();
    }
  }
  return items;
}

QString formatStringArray(const QStringList& items) {
  QStringList quoted;
  for (QString item : items) {
    item.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
    item.replace(QStringLiteral("'"), QStringLiteral("\\'"));
    quoted << u'\'' + item + u'\'';
  }
  return u'[' + quoted.join(QStringLiteral(", ")) + u']';
}

SettingsAccess gsettingsTool() {
  SettingsAccess access;
  access.get = [](const QString& schema, const QString& key) -> std::optional<QString> {
    bool ok = false;
    const QString value = runTool(QStringLiteral("gsettings"), {"get", schema, key}, &ok);
    return ok ? std::optional<QString>(value) : std::nullopt;
  };
  access.set = [](const QString& schema, const QString& key, const QString& value) {
    bool ok = false;
    runTool(QStringLiteral("gsettings"), {"set", schema, key, value}, &ok);
    return ok;
  };
  return access;
}

InstallResult installExtension(const QString& extensionsDir, const QMap<QString, QByteArray>& files,
                               const SettingsAccess& settings) {
  InstallResult result;
  if (files.isEmpty()) {
    result.error = QStringLiteral("The GNOME Shell extension that comes with Dozewick is missing.");
    return result;
  }
  // The enabled list is read first: without it nothing is written at all.
  const auto current = settings.get(kShellSchema, kEnabledKey);
  const auto enabled = current ? parseStringArray(*current) : std::nullopt;
  if (!enabled) {
    result.error = QStringLiteral(
        "GNOME Shell's list of enabled extensions cannot be read (is GNOME Shell installed?).");
    return result;
  }

  const QString uuid = QString::fromLatin1(kExtensionUuid);
  const QString target = QDir(extensionsDir).filePath(uuid);
  if (!sameContents(target, files)) {
    const auto fail = [&](const QString& why) {
      result.error = QStringLiteral("Cannot install the GNOME Shell extension into %1: %2")
                         .arg(QDir::toNativeSeparators(extensionsDir), why);
      return result;
    };
    if (!QDir().mkpath(extensionsDir)) {
      return fail(QStringLiteral("the folder cannot be created."));
    }
    QTemporaryDir staging(QDir(extensionsDir).filePath(QStringLiteral(".%1-XXXXXX").arg(uuid)));
    if (!staging.isValid()) {
      return fail(QStringLiteral("the folder is not writable."));
    }
    for (auto it = files.begin(); it != files.end(); ++it) {
      QFile file(staging.filePath(it.key()));
      QDir().mkpath(QFileInfo(file).path());
      if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size() ||
          !file.flush()) {
        return fail(file.errorString());
      }
    }
    QFile::setPermissions(staging.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadGroup | QFile::ExeGroup |
                                              QFile::ReadOther | QFile::ExeOther);
    // The old folder moves aside first and comes back if the new one cannot take its place.
    const QString old = staging.path() + QStringLiteral(".old");
    const bool hadOld = QFileInfo::exists(target);
    if (hadOld && !QDir().rename(target, old)) {
      return fail(QStringLiteral("the installed copy cannot be replaced."));
    }
    if (!QDir().rename(staging.path(), target)) {
      if (hadOld) {
        QDir().rename(old, target);
      }
      return fail(QStringLiteral("the new copy cannot be moved into place."));
    }
    staging.setAutoRemove(false);
    if (hadOld) {
      QDir(old).removeRecursively();
    }
    result.changed = true;
  }

  if (!enabled->contains(uuid)) {
    if (!settings.set(kShellSchema, kEnabledKey, formatStringArray(*enabled + QStringList{uuid}))) {
      result.error =
          QStringLiteral("The extension is installed but could not be switched on in GNOME Shell.");
      return result;
    }
    result.changed = true;
  }
  result.ok = true;
  return result;
}

QString userExtensionsDir() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
      .filePath(QStringLiteral("gnome-shell/extensions"));
}

std::optional<int> installedShellMajorVersion() {
  bool ok = false;
  const QString output = runTool(QStringLiteral("gnome-shell"), {"--version"}, &ok);
  return ok ? shellMajorVersion(output) : std::nullopt;
}

}  // namespace dozewick::gnome
