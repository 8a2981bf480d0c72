// Quit signals (SIGTERM, SIGINT, SIGHUP) turned into the program's normal quit.
#include "app/quit_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTimer>
#include <array>
#include <cerrno>
#include <stdexcept>

namespace dozewick {

namespace {

constexpr std::array kQuitSignals = {SIGTERM, SIGINT, SIGHUP};

// The handler may use nothing but this descriptor.
volatile sig_atomic_t writeEnd = -1;

extern "C" void onQuitSignal(int number) {
  const int savedErrno = errno;
  const char byte = static_cast<char>(number);
  // Non-blocking: a full pipe already holds a wake-up.
  [[maybe_unused]] const auto written = ::write(writeEnd, &byte, 1);
  errno = savedErrno;
}

void setDisposition(void (*handler)(int), int flags) {
  struct sigaction action = {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  for (const int number : kQuitSignals)
    ::sigaction(number, &action, nullptr);
}

}  // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
  if (writeEnd != -1)
    throw std::logic_error("QuitSignals: only one instance at a time");
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0)
    throw std::runtime_error("QuitSignals: no socket pair for the signal handler");
  writeEnd = fds_[1];
  notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &QuitSignals::readPipe);
  // SA_RESETHAND: the first signal asks for the quit, a second one of the same kind ends the
  // program by the default action.
  setDisposition(&onQuitSignal, SA_RESTART | SA_RESETHAND);
}

QuitSignals::~QuitSignals() {
  setDisposition(SIG_DFL, 0);
  writeEnd = -1;
  notifier_.reset();
  ::close(fds_[0]);
  ::close(fds_[1]);
}

void QuitSignals::setQuit(std::function<void()> quit) {
  quit_ = std::move(quit);
  if (received_)
    QTimer::singleShot(0, this, &QuitSignals::runQuit);
}

void QuitSignals::readPipe() {
  char buffer[16];
  while (::read(fds_[0], buffer, sizeof buffer) > 0) {
  }
  received_ = true;
  runQuit();
}

void QuitSignals::runQuit() {
  if (!quit_ || quitRun_)
    return;
  quitRun_ = true;
  quit_();
}

}  // namespace dozewick
