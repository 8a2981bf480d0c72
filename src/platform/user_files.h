// Which file writing a path of the user's really changes, and how it is written.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

namespace dozewick::user_files {

// The file that writing `path` really changes: `path` itself when nothing is there yet or it is
// a regular file; for a link (kept, as people who manage their files with links expect), the
// regular file it leads to, but only inside the home folder ($HOME). Anything else is refused
// with a description that names the path.
struct Target {
  QString path;
  std::optional<std::string> error;
};
Target writableTarget(const QString& path);

// Replaces the file at `path` (resolved as above) with `contents` in one step: readers see the
// old text or the new, never a mix, and on failure nothing has changed. Answers nothing on
// success, or the error's description.
std::optional<std::string> write(const QString& path, const QByteArray& contents);

}  // namespace dozewick::user_files
