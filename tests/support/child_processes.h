// Child processes for the tests, each wait bounded (Qt Core).
// Every wait waits on the child (a line it writes, its end), never on the clock alone.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace dozewick::testing {

inline constexpr auto kChildWait = std::chrono::seconds(15);
inline constexpr int kChildWaitMs = 15'000;

// A child process with its standard input and output on pipes. Stopped when dropped.
class ChildProcess {
 public:
  // With a `logFile`, the child's output and errors go there instead of the pipe.
  ChildProcess(const std::vector<std::string>& argv,
               const std::vector<std::string>& extraEnvironment = {}, bool silenceErrors = false,
               const std::string& logFile = {}) {
    auto environment = QProcessEnvironment::systemEnvironment();
    for (const std::string& extra : extraEnvironment) {
      const std::size_t equals = extra.find('=');
      environment.insert(QString::fromStdString(extra.substr(0, equals)),
                         QString::fromStdString(extra.substr(equals + 1)));
    }
    process_.setProcessEnvironment(environment);
    if (!logFile.empty()) {
      process_.setProcessChannelMode(QProcess::MergedChannels);
      process_.setStandardOutputFile(QString::fromStdString(logFile), QIODevice::Append);
    } else if (silenceErrors) {
      process_.setStandardErrorFile(QProcess::nullDevice());
    } else {
      process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    QStringList arguments;
    for (std::size_t i = 1; i < argv.size(); ++i) {
      arguments << QString::fromStdString(argv[i]);
    }
    process_.start(QString::fromStdString(argv.at(0)), arguments);
    if (!process_.waitForStarted(kChildWaitMs)) {
      throw std::runtime_error("could not start " + argv[0]);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() { stop(); }

  pid_t pid() const { return static_cast<pid_t>(process_.processId()); }

  // A child that does not end within the wait is killed.
  void stop(int signal = SIGTERM) {
    if (process_.state() != QProcess::NotRunning) {
      ::kill(pid(), signal);
      if (!process_.waitForFinished(kChildWaitMs)) {
        process_.kill();
        process_.waitForFinished(-1);
      }
    }
  }

  // The exit status once the child has ended within `limit`; ended by a signal counts 128.
  std::optional<int> exitStatus(std::chrono::milliseconds limit) {
    if (process_.state() != QProcess::NotRunning &&
        !process_.waitForFinished(static_cast<int>(limit.count()))) {
      return std::nullopt;
    }
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : 128;
  }

  // Writes a line and returns the next line the child writes; throws when it reads or answers
  // none in time.
  std::string ask(const std::string& line) {
    process_.write(QByteArray::fromStdString(line + "\n"));
    if (!process_.waitForBytesWritten(kChildWaitMs)) {
      throw std::runtime_error("child does not read");
    }
    return readLine();
  }
  std::string readLine() {
    const QDeadlineTimer deadline(kChildWaitMs);
    while (!process_.canReadLine()) {
      if (!process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        throw std::runtime_error(process_.state() == QProcess::NotRunning
                                     ? "child closed its output"
                                     : "child did not answer in time");
      }
    }
    return process_.readLine().chopped(1).toStdString();
  }

 private:
  QProcess process_;
};

#ifndef DOZEWICK_X_TEST_CLIENT
#define DOZEWICK_X_TEST_CLIENT ""
#endif

// Our own X client (tests/support/x_test_client.cpp), one process.
class XTestClient {
 public:
  explicit XTestClient(const std::string& display = {})
      : process_({DOZEWICK_X_TEST_CLIENT}, display.empty()
                                               ? std::vector<std::string>{}
                                               : std::vector<std::string>{"DISPLAY=" + display}) {
    expectOk(process_.readLine());
  }

  XTestClient(const XTestClient&) = delete;
  XTestClient& operator=(const XTestClient&) = delete;
  ~XTestClient() {
    try {
      process_.ask("close");
    } catch (const std::exception&) {
      // The display may be gone already; the process is stopped anyway.
    }
  }

  pid_t pid() const { return process_.pid(); }

  // Sends one command (fields separated by tabs) and returns what follows "ok".
  std::string send(const std::string& command) { return expectOk(process_.ask(command), command); }

  // Opens a window; options as "key=value" fields.
  std::uint32_t open(const std::vector<std::string>& options = {}) {
    std::string command = "open";
    for (const std::string& option : options) {
      command += "\t" + option;
    }
    return static_cast<std::uint32_t>(std::stoul(send(command)));
  }

  std::string state(std::uint32_t window) { return send("state\t" + std::to_string(window)); }

 private:
  static std::string expectOk(const std::string& reply, const std::string& command = "start") {
    if (reply.rfind("ok", 0) != 0) {
      throw std::runtime_error("test client: " + command + ": " + reply);
    }
    return reply.size() > 3 ? reply.substr(3) : std::string();
  }

  ChildProcess process_;
};

// A private X server of its own (Xvfb), which a test can kill and start again on the same display.
class PrivateXServer {
 public:
  // Its display lies above those that servers picking the first free one take, so that no other
  // session started meanwhile takes it while the test has the server down.
  explicit PrivateXServer(std::vector<std::string> options = {}) : options_(std::move(options)) {
    for (int i = 0; display_.empty(); ++i) {
      try {
        start(":" + std::to_string(200 + (::getpid() + i) % 800));
      } catch (const std::runtime_error&) {
        if (i == 20) {
          throw;
        }
      }
    }
  }

  const std::string& display() const { return display_; }

  void kill() { server_.reset(); }

  // Starts the server again, on the same display number.
  void restart() {
    kill();
    start(display_);
  }

 private:
  // Throws when Xvfb does not start, as when another server has that display.
  void start(const std::string& display) {
    std::vector<std::string> argv{"Xvfb", display,    "-displayfd", "1", "-nolisten",
                                  "tcp",  "-noreset", "-screen",    "0", "640x480x24"};
    argv.insert(argv.end(), options_.begin(), options_.end());
    server_ = std::make_unique<ChildProcess>(argv, std::vector<std::string>{}, true);
    display_ = ":" + server_->readLine();
  }

  std::vector<std::string> options_;
  std::unique_ptr<ChildProcess> server_;
  std::string display_;
};

// Polls a condition until it holds or the time is up, while Qt's events (if there is an event
// loop) are handled, for a server or compositor that answers in its own time.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = kChildWait) {
  const QDeadlineTimer deadline(limit);
  while (!condition()) {
    if (deadline.hasExpired()) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// After the last use at `allLeftAlone`, the first two of `count` applications must be iconified
// within `limit`, none of them before `earliest`, and the others kept.
inline void expectTheTwoLeastRecentGo(const std::function<bool(int)>& iconified, int count,
                                      std::chrono::steady_clock::time_point earliest,
                                      std::chrono::steady_clock::time_point allLeftAlone,
                                      std::chrono::seconds limit) {
  using Clock = std::chrono::steady_clock;
  bool tooEarly = false;
  const bool gone = eventually(
      [&] {
        for (int i = 0; i < count; ++i)
          tooEarly = tooEarly || (iconified(i) && Clock::now() < earliest);
        return iconified(0) && iconified(1);
      },
      std::chrono::duration_cast<std::chrono::milliseconds>(allLeftAlone + limit - Clock::now()));
  EXPECT_FALSE(tooEarly) << "a window went before it had been left alone for 60 s";
  ASSERT_TRUE(gone) << "the two least recently used were not iconified in time";
  eventually([] { return false; }, std::chrono::seconds(2));
  for (int i = 2; i < count; ++i)
    EXPECT_FALSE(iconified(i)) << "application " << i
                               << " is among the three most recent or in front";
}

// 32-bit values as the hex bytes of a property in this machine's byte order.
inline std::string hexList(std::initializer_list<std::uint32_t> values) {
  std::string hex;
  for (const std::uint32_t value : values) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
    for (int i = 0; i < 4; ++i) {
      char pair[3];
      std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
      hex += pair;
    }
  }
  return hex;
}

// A process id that no running process has.
inline std::int32_t unusedPid() {
  for (std::int32_t pid = 4'000'000; pid > 3'000'000; pid -= 7919) {
    if (::kill(pid, 0) != 0 && errno == ESRCH) {
      return pid;
    }
  }
  throw std::runtime_error("no free process id");
}

}  // namespace dozewick::testing
