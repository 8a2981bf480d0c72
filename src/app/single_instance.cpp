#include "app/single_instance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace dozewick {

namespace {

const QByteArray kShowMessage = "show\n";
// A peer that sends more than this without a newline is not one of ours.
constexpr qint64 kMaxMessage = 64;

}  // namespace

SingleInstance::SingleInstance(QString directory, QObject* parent)
    : QObject(parent), directory_(std::move(directory)) {
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readMessage(socket); });
      readMessage(socket);
    }
  });
}

SingleInstance::~SingleInstance() {
  server_.close();
  if (lock_ && lock_->isLocked())
    lock_->unlock();
}

QString SingleInstance::defaultDirectory() {
  QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (dir.isEmpty())
    dir = QDir::tempPath();
  return dir;
}

QString SingleInstance::lockPath() const {
  return QDir(directory_).filePath("dozewick.lock");
}

QString SingleInstance::socketPath() const {
  return QDir(directory_).filePath("dozewick.socket");
}

SingleInstance::Role SingleInstance::start(int patienceMs) {
  QDir().mkpath(directory_);
  lock_ = std::make_unique<QLockFile>(lockPath());
  // Never judge a lock by its age: an instance may run for weeks. A lock whose process is gone
  // is still recovered by tryLock().
  lock_->setStaleLockTime(0);
  if (lock_->tryLock(0)) {
    guarded_ = true;
    listen();
    return Role::primary;
  }
  if (lock_->error() != QLockFile::LockFailedError) {
    // No lock can be made here at all; running unguarded beats not running.
    guarded_ = false;
    listen();
    return Role::primary;
  }
  return notifyRunningInstance(patienceMs) ? Role::secondary : Role::unanswered;
}

bool SingleInstance::listen() {
  // A socket file left by an instance that died would make listen() fail.
  QLocalServer::removeServer(socketPath());
  return server_.listen(socketPath());
}

bool SingleInstance::notifyRunningInstance(int patienceMs) {
  // The instance holding the lock may be a moment away from listening.
  QDeadlineTimer deadline(patienceMs);
  do {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (socket.waitForConnected(
            std::max<qint64>(1, std::min<qint64>(500, deadline.remainingTime())))) {
      socket.write(kShowMessage);
      const bool sent = socket.waitForBytesWritten(1000);
      socket.disconnectFromServer();
      if (sent)
        return true;
    }
    QThread::msleep(50);
  } while (!deadline.hasExpired());
  return false;
}

void SingleInstance::readMessage(QLocalSocket* socket) {
  while (socket->canReadLine()) {
    const QByteArray line = socket->readLine(kMaxMessage);
    if (line == kShowMessage)
      Q_EMIT activationRequested();
  }
  if (socket->bytesAvailable() > kMaxMessage)
    socket->abort();
}

}  // namespace dozewick
