#pragma once

// Child processes for the X11 tests: the test client, a private X server and a window manager.
// Every wait is bounded and waits on the child (a line it writes, a pipe it closes), never on the
// clock alone.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace dozewick::testing {

inline constexpr auto kChildWait = std::chrono::seconds(15);

// A child process with its standard input and output on pipes. Stopped by pid when dropped.
class ChildProcess {
 public:
  // With a `logFile`, the child's output and errors go there instead of the pipe.
  ChildProcess(std::vector<std::string> argv, std::vector<std::string> extraEnvironment = {},
               int notifyFd = -1, bool silenceErrors = false, const std::string& logFile = {}) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
      environment.emplace_back(*e);
    }
    for (const std::string& extra : extraEnvironment) {
      const std::string key = extra.substr(0, extra.find('=') + 1);
      std::erase_if(environment, [&](const std::string& e) { return e.starts_with(key); });
      environment.push_back(extra);
    }
    std::vector<char*> args;
    for (std::string& a : argv) {
      args.push_back(a.data());
    }
    args.push_back(nullptr);
    std::vector<char*> env;
    for (std::string& e : environment) {
      env.push_back(e.data());
    }
    env.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ < 0) {
      throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      if (notifyFd >= 0) {
        ::dup2(notifyFd, 3);  // dup2 clears close-on-exec
      }
      if (silenceErrors || !logFile.empty()) {
        const int sink = ::open(logFile.empty() ? "/dev/null" : logFile.c_str(),
                                O_WRONLY | O_CREAT | O_APPEND, 0600);
        ::dup2(sink, 2);
        if (!logFile.empty()) {
          ::dup2(sink, 1);
        }
      }
      ::execvpe(args[0], args.data(), env.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    output_ = out[0];
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    stop();
    ::close(input_);
    ::close(output_);
  }

  pid_t pid() const { return pid_; }

  void stop(int signal = SIGTERM) {
    if (pid_ <= 0) {
      return;
    }
    ::kill(pid_, signal);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // The exit status once the child has ended within `limit`; stopped by a signal counts 128+.
  std::optional<int> exitStatus(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) != pid_) {
      if (std::chrono::steady_clock::now() > deadline) {
        return std::nullopt;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  void writeLine(const std::string& line) {
    const std::string data = line + "\n";
    if (::write(input_, data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
      throw std::runtime_error("child does not read");
    }
  }

  // The next line the child writes; throws when it writes none in time.
  std::string readLine() {
    const auto deadline = std::chrono::steady_clock::now() + kChildWait;
    for (;;) {
      if (const auto end = buffer_.find('\n'); end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd descriptor{output_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&descriptor, 1, static_cast<int>(left.count())) <= 0) {
        throw std::runtime_error("child did not answer in time");
      }
      char chunk[4096];
      const ssize_t got = ::read(output_, chunk, sizeof chunk);
      if (got <= 0) {
        throw std::runtime_error("child closed its output");
      }
      buffer_.append(chunk, static_cast<std::size_t>(got));
    }
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string buffer_;
};

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
      process_.writeLine("close");
      process_.readLine();
    } catch (const std::exception&) {
      // The display may be gone already; the process is stopped anyway.
    }
  }

  pid_t pid() const { return process_.pid(); }

  // Sends one command (fields separated by tabs) and returns what follows "ok".
  std::string send(const std::string& command) {
    process_.writeLine(command);
    return expectOk(process_.readLine(), command);
  }

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
  void start(const std::string& display) {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> argv{"Xvfb"};
    if (!display.empty()) {
      argv.push_back(display);
    }
    for (const char* arg :
         {"-displayfd", "3", "-nolisten", "tcp", "-noreset", "-screen", "0", "640x480x24"}) {
      argv.emplace_back(arg);
    }
    argv.insert(argv.end(), options_.begin(), options_.end());
    server_ = std::make_unique<ChildProcess>(argv, std::vector<std::string>{}, ready[1], true);
    ::close(ready[1]);
    std::string number;
    pollfd descriptor{ready[0], POLLIN, 0};
    while (::poll(&descriptor, 1, static_cast<int>(kChildWait / std::chrono::milliseconds(1))) >
           0) {
      char c = 0;
      if (::read(ready[0], &c, 1) != 1 || c == '\n') {
        break;
      }
      number.push_back(c);
    }
    ::close(ready[0]);
    if (number.empty()) {
      throw std::runtime_error("Xvfb did not start");
    }
    display_ = ":" + number;
  }

  std::vector<std::string> options_;
  std::unique_ptr<ChildProcess> server_;
  std::string display_;
};

// Polls a condition until it holds or the time is up.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = kChildWait) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
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
