// A small file system of the test's own that can be made full or read-only, to judge what a save
// leaves on disk when the disk says no.
#pragma once

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <cerrno>
#include <csignal>
#include <map>
#include <string>

namespace dozewick::testing {

// Everything below a folder, links not followed: relative path to bytes, "-> target" for a link,
// "/" for a folder.
using Tree = std::map<QString, QByteArray>;

// Writes a file whole, making its folders.
inline void put(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

inline Tree filesBelow(const QString& folder) {
  Tree tree;
  for (QDirIterator it(folder,
                       QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
       it.hasNext();) {
    const QFileInfo info(it.next());
    const QString name = QDir(folder).relativeFilePath(info.filePath());
    if (info.fileName() == ".filler")  // what fills a full scratch file system
      continue;
    if (info.isSymLink()) {
      tree[name] = "-> " + info.symLinkTarget().toUtf8();
    } else if (info.isDir()) {
      tree[name] = "/";
    } else {
      QFile file(info.filePath());
      tree[name] = file.open(QIODevice::ReadOnly) ? file.readAll() : "(unreadable)";
    }
  }
  return tree;
}

class ScratchFileSystem {
 public:
  // A 256 KiB tmpfs mounted at `folder` where this process may mount one (root); else `folder`
  // is a plain folder, and a file-size limit stands in for a full disk (an unprivileged user
  // cannot fill a file system of its own).
  explicit ScratchFileSystem(const QString& folder) : path_(folder) {
    QDir().mkpath(path_);
    mounted_ = ::mount("tmpfs", native().c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                       "size=256k,mode=0755") == 0;
  }
  ~ScratchFileSystem() {
    release();
    if (mounted_)
      ::umount2(native().c_str(), MNT_DETACH);
  }
  ScratchFileSystem(const ScratchFileSystem&) = delete;
  ScratchFileSystem& operator=(const ScratchFileSystem&) = delete;

  const QString& path() const { return path_; }
  bool mounted() const { return mounted_; }

  // Every write that needs a byte more fails from here on: No space left on device on the
  // tmpfs, File too large under the limit. Names can still be made, as on a real full disk.
  void fill() {
    if (!mounted_) {
      std::signal(SIGXFSZ, SIG_IGN);
      ::getrlimit(RLIMIT_FSIZE, &saved_);
      rlimit none = saved_;
      none.rlim_cur = 0;
      limited_ = ::setrlimit(RLIMIT_FSIZE, &none) == 0;
      return;
    }
    QFile filler(path_ + "/.filler");
    filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size()) {
    }
    // A tail smaller than a block may still fit.
    while (filler.write("f", 1) == 1) {
    }
  }
  // Undoes fill().
  void release() {
    if (limited_) {
      ::setrlimit(RLIMIT_FSIZE, &saved_);
      limited_ = false;
    }
    QFile::remove(path_ + "/.filler");
  }
  // Read-only for everyone, root included, where it is mounted; by its mode otherwise (which
  // does not stop root). Answers whether it stops this process.
  bool makeReadOnly() {
    if (mounted_)
      return ::mount(nullptr, native().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    ::chmod(native().c_str(), 0555);
    return ::geteuid() != 0;
  }

 private:
  std::string native() const { return QFile::encodeName(path_).toStdString(); }

  QString path_;
  bool mounted_ = false;
  bool limited_ = false;
  rlimit saved_{};
};

}  // namespace dozewick::testing
