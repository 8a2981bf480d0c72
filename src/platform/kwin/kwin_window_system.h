#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/window_system.h"

class QDBusServiceWatcher;

namespace dozewick {

class KWinBridge;

// The desktop of a KDE Plasma Wayland session, through a script that this backend loads into
// KWin over its scripting interface on the session bus. The script reports the windows whenever
// they change and minimizes what it is asked to, so a check costs KWin nothing: the listing and
// the frontmost application are read from the last report. Lives on the main thread; only
// trusted() may be called from another.
class KWinWindowSystem final : public QObject, public WindowSystem {
  Q_OBJECT

 public:
  struct Options {
    QString pluginName = QStringLiteral("dozewick");
    // How long a poll of the script waits for work before it is answered empty.
    std::chrono::milliseconds pollHold{10000};
    // Without a word from the script for this long, it is taken for gone and loaded again.
    std::chrono::milliseconds silenceLimit{25000};
    std::int32_t ownPid = 0;  // this program's windows are never listed nor frontmost
  };

  // `scriptSource` is the script's text; `scriptDirectory` a private folder for its loaded copy.
  KWinWindowSystem(QDBusConnection bus, QString scriptSource, QString scriptDirectory,
                   Options options);
  ~KWinWindowSystem() override;

  // Loads the script (after unloading a stale copy) and keeps it loaded; returns at once.
  void start();
  // Unloads the script; waits for KWin's answer a short while.
  void stop();

  // True when KWin's scripting interface answers and the script is loaded and answering: a
  // report or poll came from the script within the silence limit. Any thread; never blocks.
  bool trusted() const;
  bool scriptAnswering() const;

  WindowEntries onScreenWindowEntries() override;
  bool hideApplication(std::int32_t pid) override;
  std::optional<std::vector<AccessibleWindow>> applicationWindows(std::int32_t pid) override;
  bool setMinimized(const AccessibleWindow& window) override;
  std::optional<std::int32_t> frontmostApplicationPID() override;

 signals:
  // A report from the script was taken in; for tests and measurements.
  void reported();

 private:
  friend class KWinBridge;

  struct Window {
    QString key;  // KWin's id
    std::uint32_t number = 0;
    std::int32_t pid = 0;
    std::string app;
    std::string title;
    bool minimized = false;
    QString kind;
    bool onCurrentDesktop = true;
  };

  // From the bridge: already checked to come from KWin.
  void takeReport(const QByteArray& json);
  void takePoll(const QDBusMessage& call);
  void noteContact();

  void load();
  void loaded(bool ok);
  void forget();
  void keepAlive();
  bool queue(QJsonObject command);
  void deliver();
  void answerPolls(bool all);
  std::uint32_t numberFor(const QString& key);

  QDBusConnection bus_;
  QString scriptSource_;
  QString scriptDirectory_;
  Options options_;
  std::unique_ptr<KWinBridge> bridge_;
  QDBusServiceWatcher* kwinWatcher_ = nullptr;
  QTimer pollTimer_;
  QTimer aliveTimer_;

  QString kwinOwner_;  // KWin's unique bus name while the script is loaded
  bool loading_ = false;
  int generation_ = 0;  // counts the KWins forgotten, so late answers of an old one are dropped
  bool stopped_ = true;
  std::atomic<std::int64_t> lastContactMs_{-1};
  std::atomic<bool> loaded_{false};

  std::vector<Window> windows_;
  WindowEntries listed_;  // the last listing handed out
  QString activeKey_;
  std::optional<std::int32_t> frontmost_;
  QHash<QString, std::uint32_t> numbers_;
  std::uint32_t nextNumber_ = 1;
  std::vector<QDBusMessage> polls_;
  QJsonArray pendingCommands_;
};

}  // namespace dozewick
