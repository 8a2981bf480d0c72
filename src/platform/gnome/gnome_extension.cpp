// Dozewick's GNOME Shell extension: its version, its files, and installing it.
#include "platform/gnome/gnome_extension.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <glib.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/user_files.h"

// Outside every namespace, as Qt asks: the extension is built into the GNOME library.
static void initGnomeResources() {
  Q_INIT_RESOURCE(gnome);
}

namespace dozewick::gnome {

namespace {

const QByteArray kMarker = "// @shared@\n";
const QString kShellSchema = QStringLiteral("org.gnome.shell");
const QString kEnabledKey = QStringLiteral("enabled-extensions");
// Far above the extension's own files; a larger one is not Dozewick's.
constexpr qint64 kMaxOwnFileSize = 1 << 20;
// The enabled extensions of any real shell are a few KiB.
constexpr qsizetype kMaxSettingsText = 1 << 20;

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

std::optional<int> ownMetadataVersion(const QByteArray& metadata) {
  if (metadata.size() > kMaxOwnFileSize)
    return std::nullopt;
  const QJsonObject object = QJsonDocument::fromJson(metadata).object();
  if (object.value(QStringLiteral("uuid")).toString() != QLatin1String(kExtensionUuid))
    return std::nullopt;
  return object.value(QStringLiteral("version")).toInt(0);
}

std::optional<QStringList> parseStringArray(const QString& text) {
  if (text.size() > kMaxSettingsText)
    return std::nullopt;
  const QByteArray utf8 = text.toUtf8();
  GVariant* value = g_variant_parse(G_VARIANT_TYPE_STRING_ARRAY, utf8.constBegin(), utf8.constEnd(),
                                    nullptr, nullptr);
  if (!value)
    return std::nullopt;
  QStringList items;
  gsize count = 0;
  const gchar** strings = g_variant_get_strv(value, &count);
  for (gsize i = 0; i < count; ++i)
    items << QString::fromUtf8(strings[i]);
  g_free(strings);
  g_variant_unref(value);
  return items;
}

QString formatStringArray(const QStringList& items) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE_STRING_ARRAY);
  for (const QString& item : items)
    g_variant_builder_add(&builder, "s", item.toUtf8().constData());
  GVariant* value = g_variant_ref_sink(g_variant_builder_end(&builder));
  gchar* text = g_variant_print(value, false);
  const QString printed = QString::fromUtf8(text);
  g_free(text);
  g_variant_unref(value);
  return printed;
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

namespace {

// The files a copy of this extension has ever held: extension.js, metadata.json and icons/*.svg.
bool isOwnFileName(const std::string& folder, const std::string& name) {
  if (folder.empty())
    return name == "extension.js" || name == "metadata.json";
  return folder == "icons" && name.size() > 4 && name.ends_with(".svg");
}

std::optional<QByteArray> readAt(int folder, const std::string& name) {
  user_files::Fd file(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!file.valid())
    return std::nullopt;
  QByteArray bytes;
  char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0 || bytes.size() + got > kMaxOwnFileSize)
      return std::nullopt;
    if (got == 0)
      return bytes;
    bytes.append(buffer, got);
  }
}

// The files of a folder that holds nothing but what a copy of this extension holds (regular files
// of its names, no link, nothing else), by relative path; none for any other folder.
std::optional<QMap<QString, QByteArray>> readOwnFolder(int folder, const std::string& prefix = {}) {
  DIR* listing = ::fdopendir(::dup(folder));
  if (!listing)
    return std::nullopt;
  std::optional<QMap<QString, QByteArray>> files(std::in_place);
  while (files) {
    const dirent* entry = ::readdir(listing);
    if (!entry)
      break;
    const std::string name = entry->d_name;
    if (name == "." || name == "..")
      continue;
    struct stat st {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      files.reset();
    } else if (S_ISDIR(st.st_mode) && prefix.empty() && name == "icons") {
      const user_files::Fd inside = user_files::openFolderAt(folder, name);
      const auto icons = inside.valid() ? readOwnFolder(inside.get(), name) : std::nullopt;
      if (icons)
        files->insert(*icons);
      else
        files.reset();
    } else if (S_ISREG(st.st_mode) && isOwnFileName(prefix, name)) {
      const auto bytes = readAt(folder, name);
      if (bytes)
        files->insert(QString::fromStdString(prefix.empty() ? name : prefix + "/" + name), *bytes);
      else
        files.reset();
    } else {
      files.reset();
    }
  }
  ::closedir(listing);
  return files;
}

// Writes the extension's files into a new hidden folder beside `name`; its name, or the reason.
std::pair<std::string, user_files::Failure> writeStaging(int parent, const std::string& name,
                                                         const QMap<QString, QByteArray>& files) {
  std::string staging;
  for (int attempt = 0; attempt < 100 && staging.empty(); ++attempt) {
    const std::string candidate =
        "." + name + "-" + std::to_string(QRandomGenerator::global()->generate() % 1000000);
    if (::mkdirat(parent, candidate.c_str(), 0755) == 0)
      staging = candidate;
    else if (errno != EEXIST)
      break;
  }
  if (staging.empty())
    return {{}, user_files::systemError(errno)};
  const user_files::Fd folder = user_files::openFolderAt(parent, staging);
  user_files::Failure failure;
  if (!folder.valid())
    failure = user_files::systemError(errno);
  for (auto it = files.begin(); it != files.end() && !failure; ++it) {
    const std::string path = it.key().toStdString();
    const auto slash = path.find('/');
    if (slash != std::string::npos) {
      const std::string sub = path.substr(0, slash);
      if (::mkdirat(folder.get(), sub.c_str(), 0755) != 0 && errno != EEXIST) {
        failure = sub + ": " + user_files::systemError(errno);
        break;
      }
      const user_files::Fd inside = user_files::openFolderAt(folder.get(), sub);
      failure = inside.valid()
                    ? user_files::writeNew(inside.get(), path.substr(slash + 1), it.value(), 0644)
                    : sub + ": " + user_files::systemError(errno);
    } else {
      failure = user_files::writeNew(folder.get(), path, it.value(), 0644);
    }
  }
  if (!failure && ::fsync(folder.get()) != 0)
    failure = user_files::systemError(errno);
  if (failure) {
    user_files::removeTree(parent, staging);
    return {{}, failure};
  }
  return {staging, std::nullopt};
}

// Puts the written folder in the place of `name`: in one exchange where the file system can, else
// in two renames that are undone on failure. The copy it replaces is then removed.
user_files::Failure putInPlace(int parent, const std::string& staging, const std::string& name,
                               bool replacing) {
  if (!replacing) {
    if (::renameat2(parent, staging.c_str(), parent, name.c_str(), RENAME_NOREPLACE) == 0)
      return std::nullopt;
    if (errno != EINVAL && errno != ENOSYS)
      return user_files::systemError(errno);
    // No RENAME_NOREPLACE here: renameat would put a folder over an empty one only.
    if (::renameat(parent, staging.c_str(), parent, name.c_str()) == 0)
      return std::nullopt;
    return user_files::systemError(errno);
  }
  std::string old = staging;
  if (::renameat2(parent, staging.c_str(), parent, name.c_str(), RENAME_EXCHANGE) != 0) {
    if (errno != EINVAL && errno != ENOSYS)
      return user_files::systemError(errno);
    old = staging + ".old";
    if (::renameat(parent, name.c_str(), parent, old.c_str()) != 0)
      return user_files::systemError(errno);
    if (::renameat(parent, staging.c_str(), parent, name.c_str()) != 0) {
      const int error = errno;
      ::renameat(parent, old.c_str(), parent, name.c_str());
      return user_files::systemError(error);
    }
  }
  // What is left is a hidden folder of ours, harmless to the shell, should this fail.
  user_files::removeTree(parent, old);
  return std::nullopt;
}

}  // namespace

InstallResult installExtension(const QString& extensionsDir, const QMap<QString, QByteArray>& files,
                               const SettingsAccess& settings) {
  const QString uuid = QString::fromLatin1(kExtensionUuid);
  const std::string name = uuid.toStdString();
  InstallResult result;
  result.path = QDir(extensionsDir).filePath(uuid);
  const auto fail = [&result](const QString& why) {
    result.outcome = InstallOutcome::failed;
    result.detail = why;
    return result;
  };
  if (files.isEmpty())
    return fail(QStringLiteral("the extension that comes with Dozewick is missing"));
  // The enabled list is read first: without it nothing is written at all.
  const auto current = settings.get(kShellSchema, kEnabledKey);
  const auto enabled = current ? parseStringArray(*current) : std::nullopt;
  if (!enabled)
    return fail(QStringLiteral("GNOME Shell's list of enabled extensions cannot be read"));

  std::error_code created;
  std::filesystem::create_directories(QFile::encodeName(extensionsDir).toStdString(), created);
  // The folder of all extensions may be a link of the user's; only our own place is guarded.
  const user_files::Fd parent(
      ::open(QFile::encodeName(extensionsDir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!parent.valid())
    return fail(QString::fromStdString(user_files::systemError(errno)));

  struct stat st {};
  bool replacing = false;
  bool writing = true;
  if (::fstatat(parent.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(st.st_mode)) {
      result.outcome = InstallOutcome::refusedLink;
      result.detail = QFileInfo(result.path).symLinkTarget();
      return result;
    }
    const user_files::Fd there =
        S_ISDIR(st.st_mode) ? user_files::openFolderAt(parent.get(), name) : user_files::Fd();
    const auto present = there.valid() ? readOwnFolder(there.get()) : std::nullopt;
    const auto version = present
                             ? ownMetadataVersion(present->value(QStringLiteral("metadata.json")))
                             : std::nullopt;
    if (!version) {
      result.outcome = InstallOutcome::refusedForeign;
      return result;
    }
    if (*version > static_cast<int>(kExtensionVersion)) {
      result.outcome = InstallOutcome::keptNewer;
      result.detail = QString::number(*version);
      return result;
    }
    replacing = writing = *present != files;
    result.outcome = InstallOutcome::unchanged;
  } else if (errno != ENOENT) {
    return fail(QString::fromStdString(user_files::systemError(errno)));
  }
  if (writing) {
    const auto [staging, failure] = writeStaging(parent.get(), name, files);
    if (failure)
      return fail(QString::fromStdString(*failure));
    if (auto placed = putInPlace(parent.get(), staging, name, replacing)) {
      user_files::removeTree(parent.get(), staging);
      return fail(QString::fromStdString(*placed));
    }
    ::fsync(parent.get());
    result.outcome = InstallOutcome::installed;
    result.changed = true;
  }
  if (!enabled->contains(uuid)) {
    if (!settings.set(kShellSchema, kEnabledKey, formatStringArray(*enabled + QStringList{uuid})))
      return fail(QStringLiteral("the extension could not be switched on in GNOME Shell"));
    result.changed = true;
  }
  result.ok = true;
  return result;
}

InstallResult installBuiltInExtension() {
  initGnomeResources();
  const auto major = installedShellMajorVersion();
  if (!major) {
    InstallResult result;
    result.detail = QStringLiteral("GNOME Shell's version cannot be read (gnome-shell --version)");
    return result;
  }
  return installExtension(userExtensionsDir(),
                          extensionFiles(readExtensionSources(QStringLiteral(":/gnome")), *major),
                          gsettingsTool());
}

std::string describeInstall(const InstallResult& result, const Localizer& texts,
                            const char* button) {
  const auto text = [&texts](const char* key) {
    return QString::fromStdString(texts.localizedString(key));
  };
  QString said;
  switch (result.outcome) {
    case InstallOutcome::installed:
    case InstallOutcome::unchanged:
      break;
    case InstallOutcome::keptNewer:
      said = text("extension.newer").arg(result.detail, result.path);
      break;
    case InstallOutcome::refusedLink:
      said = text("extension.link").arg(result.path, result.detail, text(button));
      break;
    case InstallOutcome::refusedForeign:
      said = text("extension.foreign").arg(result.path, text(button));
      break;
    case InstallOutcome::failed:
      said = text("extension.failed").arg(result.detail);
      break;
  }
  return said.toStdString();
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
