// Quit signals (SIGTERM, SIGINT, SIGHUP) turned into the program's normal quit.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace dozewick {

// Lets SIGTERM (a logout, `kill`), SIGINT (Ctrl-C) and SIGHUP (a closed terminal) end the program
// through its normal quit, which unloads what it put into the desktop and releases its lock. The
// handler only writes to a pipe; the event loop reads it. A second signal of the same kind ends
// the program at once, for a quit that hangs. One instance at a time.
class QuitSignals final : public QObject {
  Q_OBJECT

 public:
  explicit QuitSignals(QObject* parent = nullptr);
  // Gives the signals back their default action.
  ~QuitSignals() override;
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

  // What a signal does, run once from the event loop; a signal that came before this is set
  // runs it as soon as the event loop turns.
  void setQuit(std::function<void()> quit);
  // Whether one of the signals has come; start-up stops waiting when it has.
  bool received() const { return received_; }

 private:
  void readPipe();
  void runQuit();

  int fds_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void()> quit_;
  bool received_ = false;
  bool quitRun_ = false;
};

}  // namespace dozewick
