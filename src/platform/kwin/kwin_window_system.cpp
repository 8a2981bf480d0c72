#include "platform/kwin/kwin_window_system.h"

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
#include <limits>

namespace dozewick {

namespace {

const QString kKWinService = QStringLiteral("org.kde.KWin");
const QString kScriptingPath = QStringLiteral("/Scripting");
const QString kScriptingInterface = QStringLiteral("org.kde.kwin.Scripting");
const QString kScriptInterface = QStringLiteral("org.kde.kwin.Script");
const QString kBridgePath = QStringLiteral("/org/dozewick/KWin");
constexpr int kCallTimeoutMs = 2000;
// Far above any real desktop; a larger report is refused rather than parsed.
constexpr qsizetype kMaxReportBytes = 4 << 20;
constexpr qsizetype kMaxWindows = 1 << 14;
constexpr qsizetype kMaxText = 1 << 14;

std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Where each kind of window stands, in the same terms as the X11 window types.
std::int64_t layerOf(const QString& kind) {
  static const QHash<QString, std::int64_t> layers = {
      {QStringLiteral("normalWindow"), 0},
      {QStringLiteral("dialog"), 0},
      {QStringLiteral("desktopWindow"), -1},
      {QStringLiteral("dock"), 20},
      {QStringLiteral("toolbar"), 3},
      {QStringLiteral("menu"), 3},
      {QStringLiteral("utility"), 3},
      {QStringLiteral("splash"), 5},
      {QStringLiteral("dropdownMenu"), 101},
      {QStringLiteral("popupMenu"), 101},
      {QStringLiteral("comboBox"), 101},
      {QStringLiteral("popupWindow"), 101},
      {QStringLiteral("tooltip"), 102},
      {QStringLiteral("notification"), 103},
      {QStringLiteral("criticalNotification"), 103},
      {QStringLiteral("onScreenDisplay"), 103},
      {QStringLiteral("dndIcon"), 104},
  };
  // A window of no known kind is not an application's window.
  return layers.value(kind, 3);
}

std::optional<std::int32_t> validPid(const QJsonValue& value) {
  const double pid = value.toDouble(-1);
  if (!(pid >= 1 && pid <= std::numeric_limits<std::int32_t>::max()) ||
      pid != static_cast<double>(static_cast<std::int32_t>(pid))) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(pid);
}

std::string boundedText(const QJsonValue& value) {
  return value.toString().left(kMaxText).toStdString();
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
  explicit KWinBridge(KWinWindowSystem& system) : system_(system) {}

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

  KWinWindowSystem& system_;
};

KWinWindowSystem::KWinWindowSystem(QDBusConnection bus, QString scriptSource,
                                   QString scriptDirectory, Options options)
    : bus_(std::move(bus)),
      scriptSource_(std::move(scriptSource)),
      scriptDirectory_(std::move(scriptDirectory)),
      options_(std::move(options)),
      bridge_(std::make_unique<KWinBridge>(*this)) {
  pollTimer_.setSingleShot(true);
  connect(&pollTimer_, &QTimer::timeout, this, [this] { answerPolls(true); });
  aliveTimer_.setInterval(std::max<std::chrono::milliseconds>(options_.silenceLimit / 5,
                                                              std::chrono::milliseconds(100)));
  connect(&aliveTimer_, &QTimer::timeout, this, &KWinWindowSystem::keepAlive);
}

KWinWindowSystem::~KWinWindowSystem() {
  stop();
}

void KWinWindowSystem::start() {
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

void KWinWindowSystem::stop() {
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

void KWinWindowSystem::forget() {
  answerPolls(true);
  polls_.clear();
  pendingCommands_ = QJsonArray();
  windows_.clear();
  numbers_.clear();
  activeKey_.clear();
  frontmost_.reset();
  kwinOwner_.clear();
  ++generation_;
  loaded_ = false;
  loading_ = false;
  lastContactMs_ = -1;
}

bool KWinWindowSystem::scriptAnswering() const {
  const std::int64_t last = lastContactMs_;
  return loaded_ && last >= 0 && nowMs() - last <= options_.silenceLimit.count();
}

bool KWinWindowSystem::trusted() const {
  // The script's last word came through KWin's scripting within the silence limit, and the
  // script polls well inside it: asking KWin again would only make it work for nothing.
  return scriptAnswering();
}

void KWinWindowSystem::keepAlive() {
  if (stopped_ || loading_) {
    return;
  }
  const std::int64_t last = lastContactMs_;
  if (!loaded_ || last < 0 || nowMs() - last > options_.silenceLimit.count()) {
    forget();
    load();
  }
}

void KWinWindowSystem::noteContact() {
  lastContactMs_ = nowMs();
}

void KWinWindowSystem::load() {
  if (stopped_ || loading_) {
    return;
  }
  const QString owner = bus_.interface()->serviceOwner(kKWinService);
  if (owner.isEmpty()) {
    return;
  }
  // The script learns where to report from the line put ahead of it.
  const QString path =
      QDir(scriptDirectory_).filePath(QStringLiteral("dozewick-kwin-%1.js").arg(options_.ownPid));
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

void KWinWindowSystem::loaded(bool ok) {
  loading_ = false;
  loaded_ = ok && !stopped_;
}

void KWinWindowSystem::takeReport(const QByteArray& json) {
  noteContact();
  if (json.size() > kMaxReportBytes) {
    return;
  }
  const QJsonDocument document = QJsonDocument::fromJson(json);
  if (!document.isObject()) {
    return;
  }
  const QJsonObject report = document.object();
  const QJsonArray list = report.value(QStringLiteral("windows")).toArray();
  if (list.size() > kMaxWindows) {
    return;
  }
  std::vector<Window> windows;
  windows.reserve(list.size());
  QHash<QString, std::uint32_t> numbers;
  for (const QJsonValue& value : list) {
    const QJsonObject w = value.toObject();
    const QString key = w.value(QStringLiteral("id")).toString();
    const auto pid = validPid(w.value(QStringLiteral("pid")));
    if (key.isEmpty() || key.size() > 64 || !pid || numbers.contains(key)) {
      continue;
    }
    Window window;
    window.key = key;
    window.number = numberFor(key);
    numbers.insert(key, window.number);
    window.pid = *pid;
    window.app = boundedText(w.value(QStringLiteral("app")));
    window.title = boundedText(w.value(QStringLiteral("title")));
    window.minimized = w.value(QStringLiteral("minimized")).toBool(false);
    window.kind = w.value(QStringLiteral("kind")).toString();
    window.onCurrentDesktop = w.value(QStringLiteral("current")).toBool(true);
    windows.push_back(std::move(window));
  }
  // A window gone is forgotten, so its number is never given to another while this one lives.
  numbers_ = std::move(numbers);
  windows_ = std::move(windows);
  activeKey_ = report.value(QStringLiteral("active")).toString();
  const auto active = std::find_if(windows_.begin(), windows_.end(),
                                   [&](const Window& w) { return w.key == activeKey_; });
  if (active == windows_.end()) {
    frontmost_.reset();
  } else if (active->pid != options_.ownPid) {
    // While this program's own window is active, the application before it stays frontmost.
    frontmost_ = active->pid;
  }
  emit reported();
}

std::uint32_t KWinWindowSystem::numberFor(const QString& key) {
  if (const auto found = numbers_.constFind(key); found != numbers_.constEnd()) {
    return *found;
  }
  if (nextNumber_ == 0) {
    nextNumber_ = 1;
  }
  return nextNumber_++;
}

void KWinWindowSystem::takePoll(const QDBusMessage& call) {
  noteContact();
  polls_.push_back(call);
  if (!pendingCommands_.isEmpty()) {
    answerPolls(false);
  } else {
    pollTimer_.start(options_.pollHold);
  }
}

void KWinWindowSystem::answerPolls(bool all) {
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

bool KWinWindowSystem::queue(QJsonObject command) {
  if (!scriptAnswering()) {
    return false;
  }
  pendingCommands_.append(command);
  answerPolls(false);
  return true;
}

WindowEntries KWinWindowSystem::onScreenWindowEntries() {
  if (!scriptAnswering()) {
    return nullptr;
  }
  std::vector<WindowEntry> entries;
  entries.reserve(windows_.size());
  for (const Window& w : windows_) {
    if (w.minimized || !w.onCurrentDesktop || w.pid == options_.ownPid) {
      continue;
    }
    WindowEntry entry;
    entry.layer = layerOf(w.kind);
    entry.number = std::int64_t{w.number};
    entry.ownerPID = std::int64_t{w.pid};
    entry.ownerName = w.app;
    entry.name = w.title;
    entries.push_back(std::move(entry));
  }
  return listed_ = unlessUnchanged(listed_, std::move(entries));
}

bool KWinWindowSystem::hideApplication(std::int32_t pid) {
  if (pid <= 0 || pid == options_.ownPid) {
    return false;
  }
  std::vector<Window*> owned;
  for (Window& w : windows_) {
    if (w.pid == pid) {
      owned.push_back(&w);
    }
  }
  if (owned.empty() || !queue(QJsonObject{{QStringLiteral("op"), QStringLiteral("hide")},
                                          {QStringLiteral("pid"), pid}})) {
    return false;
  }
  // Until the script's next report, what it is about to minimize counts as minimized.
  for (Window* w : owned) {
    if (layerOf(w->kind) == 0 && w->onCurrentDesktop) {
      w->minimized = true;
    }
  }
  return true;
}

std::optional<std::vector<AccessibleWindow>> KWinWindowSystem::applicationWindows(
    std::int32_t pid) {
  if (pid <= 0 || !scriptAnswering()) {
    return std::nullopt;
  }
  std::vector<AccessibleWindow> result;
  for (const Window& w : windows_) {
    if (w.pid == pid) {
      result.push_back(AccessibleWindow{w.number, w.title, w.minimized});
    }
  }
  return result;
}

bool KWinWindowSystem::setMinimized(const AccessibleWindow& window) {
  const auto found = std::find_if(windows_.begin(), windows_.end(),
                                  [&](const Window& w) { return w.number == window.handle; });
  if (window.handle == 0 || found == windows_.end() || found->pid == options_.ownPid ||
      !queue(QJsonObject{{QStringLiteral("op"), QStringLiteral("minimize")},
                         {QStringLiteral("id"), found->key}})) {
    return false;
  }
  found->minimized = true;
  return true;
}

std::optional<std::int32_t> KWinWindowSystem::frontmostApplicationPID() {
  if (!scriptAnswering()) {
    return std::nullopt;
  }
  return frontmost_;
}

}  // namespace dozewick

#include "kwin_window_system.moc"
