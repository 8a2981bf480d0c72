// Saving the user's files without losing a byte: checked writes, atomic replacement, no links.
#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

namespace dozewick::user_files {

// Nothing on success, else why it failed, for the user.
using Failure = std::optional<std::string>;

// The file that writing `path` really changes: `path` itself when nothing is there yet or it is
// a regular file; for a link (kept, as people who manage their files with links expect), the
// regular file it leads to, but only inside the home folder ($HOME). Anything else is refused
// with a description that names the path.
struct Target {
  QString path;
  Failure error;
};
Target writableTarget(const QString& path);

// Replaces the file at `path` (resolved as above) with `contents` in one step: the new bytes go to
// a new file beside it, every write and the flush to disk are checked, and only then is it renamed
// over the old one, with the old one's mode (and owner, for root). Readers see the old text or the
// new, never a mix; on any failure the old file keeps every byte and nothing is left beside it.
// A file the user made read-only is not replaced (but root writes it, as root writes any file).
Failure write(const QString& path, const QByteArray& contents);

// Writes the new file `name` into the open folder `folder` the same checked way; `name` must not
// exist yet. On failure nothing is left under `name`.
Failure writeNew(int folder, const std::string& name, const QByteArray& contents, mode_t mode);

// Removes the entry `name` of the open folder `folder`, and everything in it if it is a folder,
// without following any link: a link is removed itself, never what it leads to.
Failure removeTree(int folder, const std::string& name);

// An open file descriptor, closed when it goes.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept;
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd();
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release();

 private:
  int fd_;
};

// The folder at `path`, or the one named `name` inside `folder`, opened without following a link
// in its last step; invalid with errno set when it cannot be.
Fd openFolder(const QString& path);
Fd openFolderAt(int folder, const std::string& name);

// errno's text.
std::string systemError(int error);

}  // namespace dozewick::user_files
