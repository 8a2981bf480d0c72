// Dozewick's GNOME Shell extension: its version, its files, and installing it.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>

#include "core/localizer.h"

namespace dozewick {

// The GNOME Shell extension through which Dozewick reaches the windows on GNOME: what it is
// called, which version of it this program understands, and how it is put together and installed.
namespace gnome {

inline constexpr const char* kExtensionUuid = "dozewick@dozewick.org";
inline constexpr const char* kBusName = "org.dozewick.Shell";
inline constexpr const char* kObjectPath = "/org/dozewick/Shell";
inline constexpr const char* kInterface = "org.dozewick.Shell";
// Must match DOZEWICK_EXTENSION_VERSION in the extension's shared text.
inline constexpr unsigned kExtensionVersion = 3;

// The extension as shipped: the shared part and the two entry points, each of which holds the
// line "// @shared@" where the shared part goes, and the top bar's icons.
struct ExtensionSources {
  QByteArray shared;
  QByteArray legacyEntry;           // GNOME Shell 43 and 44
  QByteArray moduleEntry;           // GNOME Shell 45 and later (ES modules)
  QMap<QString, QByteArray> icons;  // by file name
};

// Reads shared.js, entry-legacy.js, entry-module.js and icons/*.svg from a folder (or resource).
ExtensionSources readExtensionSources(const QString& folder);

// The major version in `gnome-shell --version` ("GNOME Shell 43.9"); nullopt when unreadable.
std::optional<int> shellMajorVersion(const QString& versionOutput);

// The files of the extension folder for a shell of this major version, by relative path:
// extension.js, metadata.json and icons/. Empty when the sources lack their marker.
QMap<QString, QByteArray> extensionFiles(const ExtensionSources& sources, int shellMajor);

// The version in an installed copy's metadata.json when its uuid is this extension's, 0 when it
// names none; nullopt for another extension's, or what is no JSON object. Limits: 1 MiB (larger
// is another's), nested 1,024 deep (Qt's parser).
std::optional<int> ownMetadataVersion(const QByteArray& metadata);

// GVariant text of a string array as gsettings prints it ("['a', 'b']", "@as []"), read by GLib;
// nullopt when it is not one. Limits: 1 Mi characters, nested 128 deep (GLib's parser).
std::optional<QStringList> parseStringArray(const QString& text);
QString formatStringArray(const QStringList& items);

// Reads and writes one key of GSettings; the real one runs the gsettings tool.
struct SettingsAccess {
  std::function<std::optional<QString>(const QString& schema, const QString& key)> get;
  std::function<bool(const QString& schema, const QString& key, const QString& value)> set;
};
SettingsAccess gsettingsTool();

enum class InstallOutcome {
  installed,       // written anew, or over an older copy of Dozewick's own
  unchanged,       // already there as this program writes it
  keptNewer,       // a newer copy of Dozewick's own is there, and stays
  refusedLink,     // a link stands in the extension's place, and stays
  refusedForeign,  // something that is not Dozewick's extension stands there, and stays
  failed,          // nothing could be written (see `detail`); what was there is unchanged
};

struct InstallResult {
  InstallOutcome outcome = InstallOutcome::failed;
  bool ok = false;       // the extension is in place and switched on
  bool changed = false;  // files or the enabled list were written
  QString path;          // the extension's folder
  // What the user is told beside the outcome: where a link leads, the newer version, or why
  // nothing could be written (in the system's words).
  QString detail;
};

// Puts the extension for this user into `extensionsDir`/<uuid>/ and adds it to the shell's enabled
// extensions, keeping the others. Only a folder that holds nothing but an older (or differently
// built) copy of this extension is replaced, in one step: the new folder is written beside it and
// exchanged with it, and the old one removed without following any link. A link, a file or any
// other folder in that place, and a newer copy, are left exactly as they are. Installing what is
// already there changes nothing.
InstallResult installExtension(const QString& extensionsDir, const QMap<QString, QByteArray>& files,
                               const SettingsAccess& settings);

// Installs the extension built into this program for the installed shell into the user's folder,
// as installExtension does; `failed` when the shell's version cannot be read.
InstallResult installBuiltInExtension();

// What the user is told of an install, in the interface language; empty when there is nothing to
// say beyond the usual next step. `button` is the text key of the button that installs.
std::string describeInstall(const InstallResult& result, const Localizer& texts,
                            const char* button = "button.authorize");

// ~/.local/share/gnome-shell/extensions, after XDG_DATA_HOME.
QString userExtensionsDir();

// The installed shell's major version, from `gnome-shell --version`.
std::optional<int> installedShellMajorVersion();

}  // namespace gnome
}  // namespace dozewick
