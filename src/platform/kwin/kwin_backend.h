// The KWin backend: KDE Plasma on Wayland, through a script loaded into KWin over the session bus.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/backend.h"
#include "platform/desktop_model.h"
#include "platform/kwin/kwin_report.h"

class QDBusServiceWatcher;

namespace dozewick {

class KWinBridge;
namespace xres {
class ClientProcesses;
}

// The desktop of a KDE Plasma Wayland session, through a script that this backend loads into
// KWin over its scripting interface on the session bus. The script reports the windows whenever
// they change and minimizes what it is asked to, so a check costs KWin nothing: the desktop model
// answers from the last report.
class KWinBackend final : public QObject, public Backend, private DesktopModel::Transport {
  Q_OBJECT

 public:
  struct Options {
    QString pluginName = QStringLiteral("dozewick");
    // How long a poll of the script waits for work before it is answered empty.
    std::chrono::milliseconds pollHold{10000};
    // Without a word from the script for this long, it is taken for gone and loaded again.
    std::chrono::milliseconds silenceLimit{25000};
  };

  // The script built into the program.
  static QString builtInScript();

  // `scriptSource` is the script's text; `scriptDirectory` a private folder for its loaded copy.
  KWinBackend(QDBusConnection bus, QString scriptSource, QString scriptDirectory,
              const BackendContext& context, Options options);
  ~KWinBackend() override;

  WindowSystem& windowSystem() override { return model_; }
  // Ready while KWin's scripting interface answers and the script is loaded and answering: a
  // report or poll came from the script within the silence limit; pending while KWin has yet to
  // answer the script's load.
  Readiness readiness() override;
  // Loads the script (after unloading a stale copy) and keeps it loaded; returns at once.
  void start() override;
  // Unloads the script; waits for KWin's answer a short while.
  void stop() override;
  std::string requirementKey() override { return "needs.kwin"; }

  bool scriptAnswering() const;
  const DesktopModel& model() const { return model_; }

 signals:
  // A report from the script was taken in; for tests and measurements.
  void reported();

 private:
  friend class KWinBridge;

  // From the bridge: already checked to come from KWin.
  void takeReport(const QByteArray& json);
  void takePoll(const QDBusMessage& call);
  void noteContact();

  bool refresh() override { return scriptAnswering(); }
  Answer minimize(const std::vector<std::uint64_t>& ids) override;
  Answer restore(const std::vector<std::uint64_t>& ids) override;

  void load();
  void loaded(bool ok);
  void forget();
  void keepAlive();
  bool queue(QJsonObject command);
  Answer command(const char* op, const std::vector<std::uint64_t>& ids);
  void answerPolls(bool all);
  std::uint64_t idFor(const QString& key);
  // Looks up, once per window, the processes of X11 windows KWin knows none for.
  void lookUpProcesses(const kwin::Report& report);

  QDBusConnection bus_;
  QString scriptSource_;
  QString scriptDirectory_;
  std::int32_t ownPid_;
  Options options_;
  DesktopModel model_;
  std::unique_ptr<KWinBridge> bridge_;
  QDBusServiceWatcher* kwinWatcher_ = nullptr;
  QTimer pollTimer_;
  QTimer aliveTimer_;

  QString kwinOwner_;  // KWin's unique bus name while the script is loaded
  bool loading_ = false;
  int generation_ = 0;  // counts the KWins forgotten, so late answers of an old one are dropped
  bool stopped_ = true;
  std::int64_t lastContactMs_ = -1;
  bool loaded_ = false;

  // KWin names a window by a text; the model by a number, given for as long as the window lives.
  QHash<QString, std::uint64_t> ids_;
  std::unordered_map<std::uint64_t, QString> keys_;
  std::unique_ptr<xres::ClientProcesses> processes_;
  QHash<QString, std::int32_t> xidPids_;  // by KWin's name of the window; 0: the server knew none
  std::uint64_t nextId_ = 1;
  std::vector<QDBusMessage> polls_;
  QJsonArray pendingCommands_;
};

}  // namespace dozewick
