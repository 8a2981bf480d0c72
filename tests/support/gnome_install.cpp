// Installs Dozewick's GNOME Shell extension as Authorize does, for a test session.
// From the extension's sources in the given folder, before the session's shell starts.
//   dozewick_gnome_install SOURCE_DIR
#include <QCoreApplication>
#include <iostream>

#include "platform/gnome/gnome_extension.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    std::cerr << "usage: dozewick_gnome_install SOURCE_DIR\n";
    return 2;
  }
  using namespace dozewick::gnome;
  const ExtensionSources sources = readExtensionSources(QString::fromLocal8Bit(argv[1]));
  const InstallResult result = installExtension(
      userExtensionsDir(), extensionFiles(sources, installedShellMajorVersion().value_or(0)),
      gsettingsTool());
  if (!result.ok) {
    std::cerr << result.path.toStdString() << ": " << result.detail.toStdString() << '\n';
    return 1;
  }
  return 0;
}
