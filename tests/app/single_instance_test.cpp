// One Dozewick per user: crashed, silent and blocked instances.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

#include "app/single_instance.h"

namespace dozewick {
namespace {

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  // A later launch, on a thread of its own as if it were another process, while this thread
  // keeps serving.
  SingleInstance::Role launch(int patienceMs = 3000) {
    std::atomic<bool> done = false;
    SingleInstance::Role role{};
    std::thread other([&] {
      SingleInstance later(dir.path());
      role = later.start(patienceMs);
      done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, patienceMs + 5000));
    other.join();
    return role;
  }
  QTemporaryDir dir;
};

TEST_F(SingleInstanceTest, ALockAndSocketLeftByACrashedInstanceAreTakenOver) {
  const QString lockPath = SingleInstance(dir.path()).lockPath();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The crashed instance: holds the lock and listens, then dies without cleaning up.
    SingleInstance crashed(dir.path());
    _exit(crashed.start(0) == SingleInstance::Role::primary ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(QFile::exists(lockPath)) << "the dead process left its lock behind";

  SingleInstance next(dir.path());
  ASSERT_EQ(next.start(500), SingleInstance::Role::primary);
  // The recovered instance listens on the old socket's path, and hears every launch, not only
  // the first (that a launch shows the panel is the whole program's run).
  QSignalSpy asked(&next, &SingleInstance::activationRequested);
  for (int heard = 1; heard <= 2; ++heard) {
    EXPECT_EQ(launch(), SingleInstance::Role::secondary);
    EXPECT_TRUE(asked.count() == heard || asked.wait(5000));
    EXPECT_EQ(asked.count(), heard);
  }
}

// An instance that holds the lock but never answers (stopped, or hung) is reported as such.
TEST_F(SingleInstanceTest, AnInstanceThatHoldsTheLockButNeverAnswersIsReported) {
  QLockFile held(SingleInstance(dir.path()).lockPath());
  ASSERT_TRUE(held.tryLock(0));
  EXPECT_EQ(SingleInstance(dir.path()).start(300), SingleInstance::Role::unanswered);
}

// What a crash or a full disk leaves: a lock that names no process is stale once nobody
// answers; a folder in its place is reported, never removed.
TEST_F(SingleInstanceTest, ALockThatCannotBeReadIsTakenOverAndAFolderInItsPlaceIsReported) {
  const QString lockPath = SingleInstance(dir.path()).lockPath();
  for (const QByteArray& content : {QByteArray(), QByteArray("\x93garbage\n\0\xff", 12)}) {
    SCOPED_TRACE(content.size());
    QFile lock(lockPath);
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(content);
    lock.close();
    SingleInstance next(dir.path());
    ASSERT_EQ(next.start(200), SingleInstance::Role::primary);
    EXPECT_TRUE(next.isGuarded());
    EXPECT_EQ(launch(), SingleInstance::Role::secondary);
  }
  ASSERT_FALSE(QFile::exists(lockPath));

  ASSERT_TRUE(QDir().mkpath(lockPath + "/inside"));
  SingleInstance blocked(dir.path());
  EXPECT_EQ(blocked.start(200), SingleInstance::Role::blocked);
  EXPECT_TRUE(QFileInfo(lockPath + "/inside").isDir());
}

}  // namespace
}  // namespace dozewick
