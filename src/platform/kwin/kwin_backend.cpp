// The KWin backend: KDE Plasma on Wayland, through a script loaded into KWin over the session bus.
#include "platform/kwin/kwin_backend.h"

#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonValue>
#include <algorithm>
#include <functional>
#include <iostream>

#include "platform/kwin/kwin_report.h"
#include "platform/xres/client_process.h"

// Outside every namespace, as Qt asks: the script is built into this backend's library.
static void initKWinResources() {
  Q_INIT_RESOURCE(kwin);
}

namespace dozewick {

namespace {

const QString kKWinService = QStringLiteral("org.kde.KWin");
const QString kScriptingPath = QStringLiteral("/Scripting");
const QString kScriptingInterface = QStringLiteral("org.kde.kwin.Scripting");
const QString kScriptInterface = QStringLiteral("org.kde.kwin.Script");
const QString kBridgePath = QStringLiteral("/org/dozewick/KWin");
constexpr int kCallTimeoutMs = 2000;

std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

QDBusMessage scriptingCall(const QString& method, const QVariantList& arguments) {
  auto call =
      QDBusMessage::createMethodCall(kKWinService, kScriptingPath, kScriptingInterface, method);
  call.setArguments(arguments);
  return call;
}

}  // namespace

// What the script may call. Only KWin, the process that loaded the script, is listened to.
class KWinBridge : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.dozewick.KWinBridge")

 public:
  explicit KWinBridge(KWinBackend& system) : system_(system) {}

 public slots:
  Q_SCRIPTABLE void Report(const QString& snapshot) {
    if (fromKWin()) {
      system_.takeReport(snapshot.toUtf8());
    }
  }

  Q_SCRIPTABLE QString Poll() {
    if (fromKWin()) {
      setDelayedReply(true);
      system_.takePoll(message());
    }
    return QStringLiteral("[]");
  }

 private:
  bool fromKWin() {
    return !system_.kwinOwner_.isEmpty() && message().service() == system_.kwinOwner_;
  }

  KWinBackend& system_;
};

QString KWinBackend::builtInScript() {
  initKWinResources();
  QFile script(QStringLiteral(":/kwin/dozewick.js"));
  return script.open(QIODevice::ReadOnly) ? QString::fromUtf8(script.readAll()) : QString();
}

KWinBackend::KWinBackend(QDBusConnection bus, QString scriptSource, QString scriptDirectory,
                         const BackendContext& context, Options options)
    : Backend(context),
      bus_(std::move(bus)),
      scriptSource_(std::move(scriptSource)),
      scriptDirectory_(std::move(scriptDirectory)),
      ownPid_(context.ownPid),
      options_(std::move(options)),
      model_(*this, context.ownPid, context.diagnostics ? *context.diagnostics : std::cerr),
      bridge_(std::make_unique<KWinBridge>(*this)),
      processes_(std::make_unique<xres::ClientProcesses>()) {
  pollTimer_.setSingleShot(true);
  connect(&pollTimer_, &QTimer::timeout, this, [this] { answerPolls(true); });
  aliveTimer_.setInterval(std::max<std::chrono::milliseconds>(options_.silenceLimit / 5,
                                                              std::chrono::milliseconds(100)));
  connect(&aliveTimer_, &QTimer::timeout, this, &KWinBackend::keepAlive);
}

KWinBackend::~KWinBackend() {
  stop();
}

void KWinBackend::start() {
  if (!stopped_) {
    return;
  }
  stopped_ = false;
  bus_.registerObject(kBridgePath, bridge_.get(), QDBusConnection::ExportScriptableSlots);
  kwinWatcher_ =
      new QDBusServiceWatcher(kKWinService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
  // A new KWin knows nothing of the script: load it again.
  connect(kwinWatcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& newOwner) {
            forget();
            if (!newOwner.isEmpty()) {
              load();
            }
          });
  aliveTimer_.start();
  load();
}

void KWinBackend::stop() {
  if (stopped_) {
    return;
  }
  stopped_ = true;
  aliveTimer_.stop();
  delete kwinWatcher_;
  kwinWatcher_ = nullptr;
  if (loaded_ || loading_) {
    bus_.call(scriptingCall(QStringLiteral("unloadScript"), {options_.pluginName}), QDBus::Block,
              kCallTimeoutMs);
  }
  forget();
  bus_.unregisterObject(kBridgePath);
}

void KWinBackend::forget() {
  answerPolls(true);
  polls_.clear();
  pendingCommands_ = QJsonArray();
  model_.forget();
  ids_.clear();
  keys_.clear();
  xidPids_.clear();
  kwinOwner_.clear();
  ++generation_;
  loaded_ = false;
  loading_ = false;
  lastContactMs_ = -1;
}

bool KWinBackend::scriptAnswering() const {
  return loaded_ && lastContactMs_ >= 0 &&
         nowMs() - lastContactMs_ <= options_.silenceLimit.count();
}

Readiness KWinBackend::readiness() {
  // The script's last word came through KWin's scripting within the silence limit, and the
  // script polls well inside it: asking KWin again would only make it work for nothing.
  if (scriptAnswering())
    return model_.keepsEveryWindow() ? Readiness::keepsWindows : Readiness::ready;
  // KWin's answer to the load is on its way: no warning for what is most likely fine.
  return loading_ ? Readiness::pending : Readiness::notAnswering;
}

void KWinBackend::keepAlive() {
  if (stopped_ || loading_) {
    return;
  }
  if (!scriptAnswering()) {
    forget();
    load();
  }
}

void KWinBackend::noteContact() {
  lastContactMs_ = nowMs();
}

void KWinBackend::load() {
  if (stopped_ || loading_) {
    return;
  }
  const QString owner = bus_.interface()->serviceOwner(kKWinService);
  if (owner.isEmpty()) {
    return;
  }
  // The script learns where to report from the line put ahead of it.
  const QString path =
      QDir(scriptDirectory_).filePath(QStringLiteral("dozewick-kwin-%1.js").arg(ownPid_));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    return;
  }
  file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
  const QByteArray names = QJsonDocument(QJsonArray{bus_.baseService(), options_.pluginName})
                               .toJson(QJsonDocument::Compact);
  file.write("var [dozewickService, dozewickPlugin] = " + names + ";\n");
  file.write(scriptSource_.toUtf8());
  file.close();

  loading_ = true;
  kwinOwner_ = owner;
  lastContactMs_ = nowMs();  // the silence limit runs from here until the script speaks
  const int generation = generation_;
  // Each step waits for KWin's answer without holding up the program; an answer that arrives
  // after the program forgot this KWin is dropped.
  const auto then = [this, generation](const QDBusMessage& call,
                                       std::function<void(const QDBusMessage&)> next) {
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation, next](QDBusPendingCallWatcher* answered) {
              answered->deleteLater();
              if (generation == generation_ && !stopped_) {
                next(answered->reply());
              }
            });
  };
  const auto finish = [this, path](bool ok) {
    QFile::remove(path);
    loaded(ok);
  };
  const auto run = [kwinService = kKWinService](const QString& objectPath) {
    return QDBusMessage::createMethodCall(kwinService, objectPath, kScriptInterface,
                                          QStringLiteral("run"));
  };
  // A copy left by a crashed run would keep reporting to a bus name nobody holds.
  then(scriptingCall(QStringLiteral("unloadScript"), {options_.pluginName}), [=, this](auto&) {
    then(scriptingCall(QStringLiteral("loadScript"), {path, options_.pluginName}),
         [=](const QDBusMessage& reply) {
           const int id = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                              ? reply.arguments().first().toInt()
                              : -1;
           if (id < 0) {
             finish(false);
             return;
           }
           // Plasma 6 names the script object /Scripting/ScriptN, Plasma 5 /N.
           then(run(QStringLiteral("/Scripting/Script%1").arg(id)),
                [=](const QDBusMessage& plasma6) {
                  if (plasma6.type() == QDBusMessage::ReplyMessage) {
                    finish(true);
                    return;
                  }
                  then(run(QStringLiteral("/%1").arg(id)), [=](const QDBusMessage& plasma5) {
                    finish(plasma5.type() == QDBusMessage::ReplyMessage);
                  });
                });
         });
  });
}

void KWinBackend::loaded(bool ok) {
  loading_ = false;
  loaded_ = ok && !stopped_;
}

void KWinBackend::takeReport(const QByteArray& json) {
  noteContact();
  auto report = kwin::readReport(json);
  if (!report) {
    return;
  }
  std::vector<DesktopWindow> windows;
  windows.reserve(report->windows.size());
  QHash<QString, std::uint64_t> ids;
  lookUpProcesses(*report);
  std::optional<std::int32_t> activePid = report->activePid;
  for (auto& [key, window, xid] : report->windows) {
    if (window.pid <= 0) {
      window.pid = xidPids_.value(key);
      if (window.pid <= 0)
        continue;
      if (key == report->activeKey)
        activePid = window.pid;
    }
    window.id = idFor(key);
    ids.insert(key, window.id);
    windows.push_back(std::move(window));
  }
  // A window gone is forgotten, so its id is never given to another while this one lives.
  for (auto it = ids_.constBegin(); it != ids_.constEnd(); ++it) {
    if (!ids.contains(it.key())) {
      keys_.erase(it.value());
    }
  }
  ids_ = std::move(ids);
  model_.report(std::move(windows), activePid);
  emit reported();
}

void KWinBackend::lookUpProcesses(const kwin::Report& report) {
  QHash<QString, std::int32_t> known;
  std::vector<std::uint32_t> windows;
  std::vector<QString> keys;
  for (const auto& [key, window, xid] : report.windows) {
    if (window.pid > 0)
      continue;
    if (const auto found = xidPids_.constFind(key); found != xidPids_.constEnd()) {
      known.insert(key, *found);
    } else if (windows.size() < DesktopModel::kMaxWindows) {
      windows.push_back(xid);
      keys.push_back(key);
    }
  }
  // Asked once: a window the server named no process for stays without one.
  const auto pids = processes_->lookUp(windows);
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const auto found = pids.find(windows[i]);
    known.insert(keys[i], found == pids.end() ? 0 : found->second);
  }
  xidPids_ = std::move(known);
}

std::uint64_t KWinBackend::idFor(const QString& key) {
  if (const auto found = ids_.constFind(key); found != ids_.constEnd()) {
    return *found;
  }
  keys_.emplace(nextId_, key);
  return nextId_++;
}

void KWinBackend::takePoll(const QDBusMessage& call) {
  noteContact();
  polls_.push_back(call);
  if (!pendingCommands_.isEmpty()) {
    answerPolls(false);
  } else {
    pollTimer_.start(options_.pollHold);
  }
}

void KWinBackend::answerPolls(bool all) {
  if (polls_.empty()) {
    return;
  }
  // Older polls go unanswered only if their script is gone; answer them empty.
  for (std::size_t i = 0; i + 1 < polls_.size(); ++i) {
    bus_.send(polls_[i].createReply(QStringLiteral("[]")));
  }
  const QDBusMessage newest = polls_.back();
  polls_.clear();
  if (pendingCommands_.isEmpty() && !all) {
    polls_.push_back(newest);
    return;
  }
  bus_.send(newest.createReply(
      QString::fromUtf8(QJsonDocument(pendingCommands_).toJson(QJsonDocument::Compact))));
  pendingCommands_ = QJsonArray();
  pollTimer_.stop();
}

bool KWinBackend::queue(QJsonObject command) {
  if (!scriptAnswering()) {
    return false;
  }
  pendingCommands_.append(command);
  answerPolls(false);
  return true;
}

DesktopModel::Transport::Answer KWinBackend::minimize(const std::vector<std::uint64_t>& ids) {
  return command("minimize", ids);
}

DesktopModel::Transport::Answer KWinBackend::restore(const std::vector<std::uint64_t>& ids) {
  return command("restore", ids);
}

DesktopModel::Transport::Answer KWinBackend::command(const char* op,
                                                     const std::vector<std::uint64_t>& ids) {
  QJsonArray keys;
  for (const std::uint64_t id : ids) {
    if (const auto found = keys_.find(id); found != keys_.end()) {
      keys.append(found->second);
    }
  }
  if (keys.isEmpty() || !queue(QJsonObject{{QStringLiteral("op"), QString::fromLatin1(op)},
                                           {QStringLiteral("ids"), keys}})) {
    return Answer::refused;
  }
  return Answer::taken;
}

}  // namespace dozewick

#include "kwin_backend.moc"
