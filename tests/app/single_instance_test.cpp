// One Dozewick per user: crashed, silent and blocked instances, and what a later launch hands over.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <functional>
#include <thread>

#include "app/single_instance.h"

namespace dozewick {
namespace {

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  // A later launch, on a thread of its own as if it were another process, while this thread
  // keeps serving.
  SingleInstance::Role launch(int patienceMs = 3000, const LaunchRequest& request = {}) {
    SingleInstance::Role role{};
    onOtherThread([&] { role = SingleInstance(dir.path()).start(patienceMs, request); });
    return role;
  }
  // What a peer that writes `bytes` on the socket gets back before the instance hangs up or
  // stays silent.
  QByteArray sendRaw(const QByteArray& bytes) {
    QByteArray reply;
    onOtherThread([&] {
      QLocalSocket socket;
      socket.connectToServer(SingleInstance(dir.path()).socketPath());
      if (!socket.waitForConnected(2000))
        return;
      socket.write(bytes);
      socket.waitForBytesWritten(2000);
      while (!reply.endsWith('\n') && socket.waitForReadyRead(500))
        reply += socket.readAll();
    });
    return reply;
  }
  void onOtherThread(const std::function<void()>& work) {
    std::atomic<bool> done = false;
    std::thread other([&] {
      work();
      done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
    other.join();
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

// A launcher's token passes to the running instance only as launchers make them; anything else
// is left out, and the panel is still asked for.
TEST(LaunchMessage, CarriesPrintableBoundedTokensAndDropsTheRest) {
  const QByteArray longest(kMaxLaunchToken, 'k');
  struct Case {
    const char* what;
    QByteArray token;
    QByteArray passed;
  };
  const Case cases[] = {
      {"a KWin token", "kwin-12", "kwin-12"},
      {"a startup id", "xterm-1-host_TIME4711", "xterm-1-host_TIME4711"},
      {"the longest", longest, longest},
      {"too long", longest + 'k', ""},
      {"none", "", ""},
      {"a space", "kwin 12", ""},
      {"a newline", "kwin-12\nshow", ""},
      {"a control", "kwin\x01", ""},
      {"delete", "kwin\x7f", ""},
      {"not ASCII", "kwin-\xc3\xa9", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QByteArray message = launchMessage({c.token, c.token});
    // The message stays one show, whatever the token held.
    EXPECT_EQ(message.count('\n'), c.passed.isEmpty() ? 1 : 3);
    EXPECT_TRUE(message.endsWith("\nshow\n") || message == "show\n");
    LaunchRequest read;
    QList<QByteArray> lines = message.split('\n');
    lines.removeLast();
    for (qsizetype i = 0; i < lines.size(); ++i)
      EXPECT_EQ(readLaunchLine(lines[i], read), i == lines.size() - 1);
    EXPECT_EQ(read, (LaunchRequest{c.passed, c.passed}));
    // A reader takes no more than the writer sends.
    LaunchRequest raw;
    readLaunchLine("activation-token " + c.token, raw);
    readLaunchLine("startup-id " + c.token + "\n", raw);
    EXPECT_EQ(raw, (LaunchRequest{c.passed, c.passed}));
  }
  LaunchRequest none;
  for (const char* line : {"", "SHOW", "show ", "shown", "activation-token", "startup-id  x"})
    EXPECT_FALSE(readLaunchLine(line, none)) << line;
  EXPECT_EQ(none, LaunchRequest{});
}

// On the socket: this version's message, the older one's plain "show", and peers that are not
// Dozewick, which get no answer and ask for nothing.
TEST_F(SingleInstanceTest, ALaterLaunchHandsOverItsTokensAndStrangersAreIgnored) {
  SingleInstance running(dir.path());
  ASSERT_EQ(running.start(0), SingleInstance::Role::primary);
  QSignalSpy asked(&running, &SingleInstance::activationRequested);
  const auto lastRequest = [&] { return asked.takeLast().at(0).value<LaunchRequest>(); };

  const LaunchRequest given{"kwin-3", "launcher-7_TIME99"};
  EXPECT_EQ(launch(3000, given), SingleInstance::Role::secondary);
  ASSERT_TRUE(asked.count() == 1 || asked.wait(5000));
  EXPECT_EQ(lastRequest(), given);

  EXPECT_EQ(sendRaw("show\n"), "shown\n");
  ASSERT_TRUE(asked.count() == 1 || asked.wait(5000));
  EXPECT_EQ(lastRequest(), LaunchRequest{}) << "nothing is left over from the launch before";

  // Tokens belong to their own connection's show.
  EXPECT_EQ(sendRaw("activation-token kwin-4\n"), "");
  EXPECT_EQ(sendRaw("show\n"), "shown\n");
  ASSERT_TRUE(asked.count() == 1 || asked.wait(5000));
  EXPECT_EQ(lastRequest(), LaunchRequest{});

  for (const QByteArray& stranger :
       {QByteArray("GET / HTTP/1.0\r\n\r\n"), QByteArray(4096, 'x'),
        "activation-token " + QByteArray(4096, 'k') + "\nshow\n", QByteArray("\0show\n", 6)}) {
    SCOPED_TRACE(stranger.left(20).toStdString());
    EXPECT_EQ(sendRaw(stranger), "");
  }
  QTest::qWait(100);
  EXPECT_EQ(asked.count(), 0);
  // Still listening after all of that.
  EXPECT_EQ(launch(), SingleInstance::Role::secondary);
}

}  // namespace
}  // namespace dozewick
