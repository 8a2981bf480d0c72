#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/single_instance.h"

namespace dozewick {
namespace {

QCoreApplication& application() {
  static int argc = 1;
  static char name[] = "single_instance_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    application();
    ASSERT_TRUE(dir.isValid());
  }
  QTemporaryDir dir;
};

TEST_F(SingleInstanceTest, ASecondLaunchAsksTheFirstToShowItsPanel) {
  SingleInstance first(dir.path());
  ASSERT_EQ(first.start(), SingleInstance::Role::primary);
  EXPECT_TRUE(first.isGuarded());
  QSignalSpy asked(&first, &SingleInstance::activationRequested);

  SingleInstance second(dir.path());
  EXPECT_EQ(second.start(), SingleInstance::Role::secondary);
  EXPECT_TRUE(asked.wait(5000));
  EXPECT_EQ(asked.count(), 1);

  // Every further launch is heard too, not only the first.
  SingleInstance third(dir.path());
  EXPECT_EQ(third.start(), SingleInstance::Role::secondary);
  EXPECT_TRUE(asked.wait(5000));
  EXPECT_EQ(asked.count(), 2);
}

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
  QSignalSpy asked(&next, &SingleInstance::activationRequested);
  SingleInstance later(dir.path());
  EXPECT_EQ(later.start(), SingleInstance::Role::secondary);
  EXPECT_TRUE(asked.wait(5000)) << "the recovered instance listens on the old socket's path";
}

TEST_F(SingleInstanceTest, AnInstanceThatHoldsTheLockButNeverAnswersIsReported) {
  QLockFile held(SingleInstance(dir.path()).lockPath());
  ASSERT_TRUE(held.tryLock(0));
  SingleInstance late(dir.path());
  EXPECT_EQ(late.start(300), SingleInstance::Role::unanswered);
}

TEST_F(SingleInstanceTest, StrayMessagesOnTheSocketDoNothing) {
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

  // The server still answers the real message afterwards.
  SingleInstance second(dir.path());
  EXPECT_EQ(second.start(), SingleInstance::Role::secondary);
  EXPECT_TRUE(asked.wait(5000));
}

TEST_F(SingleInstanceTest, AFolderThatCannotHoldALockStillLetsTheProgramRun) {
  // A regular file where the folder should be: no lock can be made there, even by root.
  const QString blocked = dir.filePath("not-a-folder");
  QFile file(blocked);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  SingleInstance instance(blocked);
  EXPECT_EQ(instance.start(100), SingleInstance::Role::primary);
  EXPECT_FALSE(instance.isGuarded());
}

}  // namespace
}  // namespace dozewick
