// One Dozewick per user: the lock, the local socket, and a second launch's request.
#include "app/single_instance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QVariant>
#include <utility>

namespace dozewick {

namespace {

// Written data alone proves nothing: the system accepts it for a stopped process too.
const QByteArray kShownReply = "shown\n";
// A reply longer than this is not one of ours.
constexpr qint64 kMaxReply = 64;

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

SingleInstance::Role SingleInstance::start(int patienceMs, const LaunchRequest& launch) {
  QDir().mkpath(directory_);
  if (QFileInfo(lockPath()).isDir())
    return Role::blocked;
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
  if (notifyRunningInstance(patienceMs, launch))
    return Role::secondary;
  // A crash or a full disk leaves a lock that names no process. With nobody answering, it is
  // stale; removing it fails while a live instance still holds it.
  qint64 pid = 0;
  QString host;
  QString application;
  if (!lock_->getLockInfo(&pid, &host, &application) && lock_->removeStaleLockFile() &&
      lock_->tryLock(0)) {
    guarded_ = true;
    listen();
    return Role::primary;
  }
  return Role::unanswered;
}

bool SingleInstance::listen() {
  // A socket file left by an instance that died would make listen() fail.
  QLocalServer::removeServer(socketPath());
  return server_.listen(socketPath());
}

bool SingleInstance::notifyRunningInstance(int patienceMs, const LaunchRequest& launch) {
  // The instance holding the lock may be a moment away from listening.
  QDeadlineTimer deadline(patienceMs);
  do {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (socket.waitForConnected(
            std::max<qint64>(1, std::min<qint64>(500, deadline.remainingTime())))) {
      socket.write(launchMessage(launch));
      QByteArray reply;
      while (!reply.endsWith('\n') && reply.size() < kMaxReply &&
             socket.waitForReadyRead(std::max<qint64>(1, deadline.remainingTime()))) {
        reply += socket.readAll();
      }
      socket.abort();
      // Someone listens: either it confirmed in time or it does not answer.
      return reply == kShownReply;
    }
    QThread::msleep(50);
  } while (!deadline.hasExpired());
  return false;
}

void SingleInstance::readMessage(QLocalSocket* socket) {
  // The tokens read so far on this connection, until its "show".
  auto pending = socket->property("launch").value<LaunchRequest>();
  while (socket->canReadLine()) {
    const QByteArray line = socket->readLine(kMaxLaunchLine + 1);
    if (!line.endsWith('\n')) {
      socket->abort();  // not one of ours
      return;
    }
    if (readLaunchLine(line, pending)) {
      socket->write(kShownReply);
      Q_EMIT activationRequested(std::exchange(pending, {}));
    }
  }
  if (socket->bytesAvailable() > kMaxLaunchLine)
    socket->abort();
  else
    socket->setProperty("launch", QVariant::fromValue(pending));
}

}  // namespace dozewick
