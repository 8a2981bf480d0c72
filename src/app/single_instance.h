// One Dozewick per user: the lock, the local socket, and a second launch's request.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

#include "app/launch_request.h"

namespace dozewick {

// Keeps one Dozewick per user: the first launch holds a lock and listens on a local socket; a
// later launch asks it to open its panel and steps aside.
class SingleInstance final : public QObject {
  Q_OBJECT

 public:
  enum class Role {
    primary,     // this process is the one instance
    secondary,   // another instance runs and was told to open its panel
    unanswered,  // another instance holds the lock but did not take the message
    blocked,     // a folder stands where the lock file belongs
  };

  // `directory` holds the lock and the socket; it must belong to the user alone.
  explicit SingleInstance(QString directory, QObject* parent = nullptr);
  ~SingleInstance() override;

  // The per-user runtime folder ($XDG_RUNTIME_DIR, or Qt's private fallback).
  static QString defaultDirectory();

  // Takes the lock (recovering one left behind by a process that died, or one that cannot be
  // read once nobody answers) or hands over to the instance that holds it, which must confirm.
  // Waits at most `patience` ms for a starting instance to listen and answer, and hands it
  // `launch`.
  Role start(int patienceMs = 3000, const LaunchRequest& launch = {});

  QString lockPath() const;
  QString socketPath() const;
  // False when the lock could not be created at all (unwritable folder); the program then runs
  // without the single-instance guarantee rather than not at all.
  bool isGuarded() const { return guarded_; }

 Q_SIGNALS:
  // A later launch asked this instance to show its panel, with what its launcher gave it.
  void activationRequested(const dozewick::LaunchRequest& launch);

 private:
  bool listen();
  bool notifyRunningInstance(int patienceMs, const LaunchRequest& launch);
  void readMessage(class QLocalSocket* socket);

  QString directory_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer server_;
  bool guarded_ = false;
};

}  // namespace dozewick
