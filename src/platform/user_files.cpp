// Which file writing a path of the user's really changes, and how it is written.
#include "platform/user_files.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace dozewick::user_files {

namespace {

std::string describe(const QString& path, const QString& problem) {
  return (path + " " + problem).toStdString();
}

bool isInside(const QString& path, const QString& folder) {
  return !folder.isEmpty() && path.startsWith(folder.endsWith('/') ? folder : folder + '/');
}

}  // namespace

Target writableTarget(const QString& path) {
  const QFileInfo info(path);
  if (info.isSymLink()) {
    const QString target = info.canonicalFilePath();
    if (target.isEmpty())
      return {path,
              describe(path, "is a link to " + info.symLinkTarget() + ", which does not exist")};
    const QString home = QFileInfo(QDir::homePath()).canonicalFilePath();
    if (!isInside(target, home)) {
      return {path,
              describe(path, "is a link to " + target + ", which is outside the home folder")};
    }
    if (!QFileInfo(target).isFile())
      return {path, describe(path, "is a link to " + target + ", which is not a regular file")};
    return {target, std::nullopt};
  }
  if (!info.exists())
    return {path, std::nullopt};
  if (info.isDir())
    return {path, describe(path, "is a folder, not a file")};
  if (!info.isFile())
    return {path, describe(path, "is not a regular file")};
  return {path, std::nullopt};
}

std::optional<std::string> write(const QString& path, const QByteArray& contents) {
  const Target target = writableTarget(path);
  if (target.error)
    return target.error;
  QSaveFile file(target.path);
  if (!file.open(QIODevice::WriteOnly))
    return ("Could not write " + path + ": " + file.errorString()).toStdString();
  file.write(contents);
  if (!file.commit())
    return ("Could not write " + path + ": " + file.errorString()).toStdString();
  return std::nullopt;
}

}  // namespace dozewick::user_files
