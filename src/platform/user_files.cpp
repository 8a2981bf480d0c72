// Which file writing a path of the user's really changes, and how it is written.
#include "platform/user_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <utility>

namespace dozewick::user_files {

namespace {

std::string describe(const QString& path, const QString& problem) {
  return (path + " " + problem).toStdString();
}

bool isInside(const QString& path, const QString& folder) {
  return !folder.isEmpty() && path.startsWith(folder.endsWith('/') ? folder : folder + '/');
}

std::string couldNotWrite(const QString& path, int error) {
  return ("Could not write " + path + ": ").toStdString() + systemError(error);
}

// Writes everything, through short writes and interruptions; the errno of a failure, or 0.
int writeAll(int fd, const QByteArray& contents) {
  const char* data = contents.constData();
  qsizetype left = contents.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
    if (written < 0) {
      if (errno == EINTR)
        continue;
      return errno;
    }
    if (written == 0)
      return EIO;
    data += written;
    left -= written;
  }
  return 0;
}

// Fills a new file and gets it to disk; the errno of the first failure, or 0.
int fill(Fd fd, const QByteArray& contents) {
  if (const int error = writeAll(fd.get(), contents))
    return error;
  if (::fsync(fd.get()) != 0)
    return errno;
  // close() is where some file systems report a failed write-back.
  if (::close(fd.release()) != 0 && errno != EINTR)
    return errno;
  return 0;
}

// A fresh hidden name beside `name` for what is being written; the file is created with `mode`
// (the umask applies, as to any new file).
std::pair<Fd, std::string> createBeside(int folder, const std::string& name, mode_t mode) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temporary = "." + name + "." +
                                  std::to_string(QRandomGenerator::global()->generate() % 1000000) +
                                  ".new";
    const int fd = ::openat(folder, temporary.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0)
      return {Fd(fd), temporary};
    if (errno != EEXIST)
      break;
  }
  return {Fd(), std::string()};
}

}  // namespace

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    Fd old(fd_);
    fd_ = other.release();
  }
  return *this;
}

Fd::~Fd() {
  if (fd_ >= 0)
    ::close(fd_);
}

int Fd::release() {
  return std::exchange(fd_, -1);
}

std::string systemError(int error) {
  return std::strerror(error);
}

Fd openFolder(const QString& path) {
  return Fd(
      ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

Fd openFolderAt(int folder, const std::string& name) {
  return Fd(::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

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

Failure write(const QString& path, const QByteArray& contents) {
  const Target target = writableTarget(path);
  if (target.error)
    return target.error;
  const QFileInfo info(target.path);
  const Fd folder = openFolder(info.absolutePath());
  if (!folder.valid())
    return couldNotWrite(path, errno);
  const std::string name = QFile::encodeName(info.fileName()).toStdString();

  struct stat old {};
  const bool replacing = ::fstatat(folder.get(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (replacing) {
    if (!S_ISREG(old.st_mode))
      return describe(path, "is not a regular file");
    if (::faccessat(folder.get(), name.c_str(), W_OK, AT_EACCESS) != 0)
      return errno == EACCES ? describe(path, "is not writable") : couldNotWrite(path, errno);
  }
  auto [file, temporary] = createBeside(folder.get(), name, 0666);
  if (!file.valid())
    return couldNotWrite(path, errno);
  int error = 0;
  if (replacing) {
    if (::fchmod(file.get(), old.st_mode & 07777) != 0)
      error = errno;
    else if (::geteuid() == 0 && ::fchown(file.get(), old.st_uid, old.st_gid) != 0)
      error = errno;
  }
  if (!error)
    error = fill(std::move(file), contents);
  if (!error && ::renameat(folder.get(), temporary.c_str(), folder.get(), name.c_str()) != 0)
    error = errno;
  if (error) {
    ::unlinkat(folder.get(), temporary.c_str(), 0);
    return couldNotWrite(path, error);
  }
  // The new name's own way to disk; the data is there already, so a failure here loses nothing.
  ::fsync(folder.get());
  return std::nullopt;
}

Failure writeNew(int folder, const std::string& name, const QByteArray& contents, mode_t mode) {
  Fd file(
      ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
  if (!file.valid())
    return name + ": " + systemError(errno);
  if (const int error = fill(std::move(file), contents)) {
    ::unlinkat(folder, name.c_str(), 0);
    return name + ": " + systemError(error);
  }
  return std::nullopt;
}

Failure removeTree(int folder, const std::string& name) {
  struct stat st {};
  if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? Failure() : name + ": " + systemError(errno);
  if (S_ISDIR(st.st_mode)) {
    Fd inside = openFolderAt(folder, name);
    if (!inside.valid())
      return name + ": " + systemError(errno);
    // fdopendir takes the descriptor over; a second one stays ours for the removals.
    DIR* listing = ::fdopendir(::dup(inside.get()));
    if (!listing)
      return name + ": " + systemError(errno);
    Failure failure;
    while (const dirent* entry = ::readdir(listing)) {
      const std::string child = entry->d_name;
      if (child == "." || child == "..")
        continue;
      if (auto error = removeTree(inside.get(), child); error && !failure)
        failure = name + "/" + *error;
    }
    ::closedir(listing);
    if (failure)
      return failure;
    if (::unlinkat(folder, name.c_str(), AT_REMOVEDIR) != 0)
      return name + ": " + systemError(errno);
    return std::nullopt;
  }
  if (::unlinkat(folder, name.c_str(), 0) != 0)
    return name + ": " + systemError(errno);
  return std::nullopt;
}

}  // namespace dozewick::user_files
