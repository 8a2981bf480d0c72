// Installs Dozewick's GNOME Shell extension for the current user, as Authorize does, from the
// extension's sources in the given folder; for a test session before its shell starts.
//   dozewick_gnome_install SOURCE_DIR
#include <QCoreApplication>
#include <QFile>
#include <iostream>

#include "platform/gnome/gnome_extension.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    std::cerr << "usage: dozewick_gnome_install SOURCE_DIR\n";
    return 2;
  }
  using namespace dozewick::gnome;
  const auto read = [&](const char* name) {
    QFile file(QString::fromLocal8Bit(argv[1]) + "/" + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  };
  const ExtensionSources sources{read("shared.js"), read("entry-legacy.js"),
                                 read("entry-module.js")};
  const InstallResult result = installExtension(
      userExtensionsDir(), extensionFiles(sources, installedShellMajorVersion().value_or(0)),
      gsettingsTool());
  if (!result.ok) {
    std::cerr << result.error.toStdString() << '\n';
    return 1;
  }
  return 0;
}
