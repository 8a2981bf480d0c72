#include "app/single_instance.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace dozewick {
namespace {

TEST(SingleInstanceTest, EveryLaterLaunchAsksTheFirstAndStrayMessagesDoNothing) {
  QTemporaryDir dir;
  SingleInstance first(dir.path());
  ASSERT_EQ(first.start(), SingleInstance::Role::primary);
  QSignalSpy asked(&first, &SingleInstance::activationRequested);
  QLocalSocket stranger;
  stranger.connectToServer(first.socketPath());
  ASSERT_TRUE(stranger.waitForConnected(2000));
  stranger.write("quit\nshowme\n" + QByteArray(4096, 'x'));
  stranger.waitForBytesWritten(2000);
  QTest::qWait(200);
  EXPECT_EQ(asked.count(), 0);
  for (int launch = 1; launch <= 2; ++launch) {
    SingleInstance later(dir.path());
    EXPECT_EQ(later.start(), SingleInstance::Role::secondary);
    EXPECT_TRUE(asked.wait(5000));
    EXPECT_EQ(asked.count(), launch);
  }
}

TEST(SingleInstanceTest, ALockLeftByACrashTakenOverAndOneHeldButSilentReported) {
  QTemporaryDir dir;
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
  SingleInstance next(dir.path());
  ASSERT_TRUE(QFile::exists(next.lockPath())) << "the dead process left its lock behind";
  ASSERT_EQ(next.start(500), SingleInstance::Role::primary);
  QSignalSpy asked(&next, &SingleInstance::activationRequested);
  EXPECT_EQ(SingleInstance(dir.path()).start(), SingleInstance::Role::secondary);
  EXPECT_TRUE(asked.wait(5000)) << "listens on the old socket's path";

  QTemporaryDir other;
  QLockFile held(SingleInstance(other.path()).lockPath());
  ASSERT_TRUE(held.tryLock(0));
  EXPECT_EQ(SingleInstance(other.path()).start(300), SingleInstance::Role::unanswered);

  // A regular file where the folder should be: no lock, even for root; the program still runs.
  QFile file(other.filePath("not-a-folder"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  SingleInstance unguarded(file.fileName());
  EXPECT_EQ(unguarded.start(100), SingleInstance::Role::primary);
  EXPECT_FALSE(unguarded.isGuarded());
}

}  // namespace
}  // namespace dozewick
