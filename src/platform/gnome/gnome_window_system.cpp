#include "platform/gnome/gnome_window_system.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QList>
#include <algorithm>

#include "platform/gnome/gnome_extension.h"

namespace dozewick {

namespace {

constexpr std::size_t kMaxWindows = 1 << 14;
constexpr qsizetype kMaxText = 1 << 14;
constexpr const char* kStateSignature = "ta(tisssbbbb)i";

const QString kBusName = QString::fromLatin1(gnome::kBusName);
const QString kObjectPath = QString::fromLatin1(gnome::kObjectPath);
const QString kInterface = QString::fromLatin1(gnome::kInterface);

QDBusMessage extensionCall(const QString& method, const QVariantList& arguments = {}) {
  auto call = QDBusMessage::createMethodCall(kBusName, kObjectPath, kInterface, method);
  call.setArguments(arguments);
  return call;
}

bool answered(const QDBusMessage& reply, const char* signature) {
  return reply.type() == QDBusMessage::ReplyMessage && reply.signature() == signature;
}

}  // namespace

GnomeWindowSystem::GnomeWindowSystem(QDBusConnection bus, Options options)
    : bus_(std::move(bus)), options_(options) {
  auto* watcher =
      new QDBusServiceWatcher(kBusName, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& owner) {
            extensionOwnerChanged(owner);
          });
  // Subscribed before the first reading, so that nothing said meanwhile is missed.
  bus_.connect(kBusName, kObjectPath, kInterface, QStringLiteral("Changed"), this,
               SLOT(takeAnnouncement(QDBusMessage)));
  extensionOwnerChanged(bus_.interface()->serviceOwner(kBusName));
}

GnomeWindowSystem::~GnomeWindowSystem() {
  bus_.disconnect(kBusName, kObjectPath, kInterface, QStringLiteral("Changed"), this,
                  SLOT(takeAnnouncement(QDBusMessage)));
}

std::optional<unsigned> GnomeWindowSystem::extensionVersion() const {
  auto call = QDBusMessage::createMethodCall(kBusName, kObjectPath,
                                             QStringLiteral("org.freedesktop.DBus.Properties"),
                                             QStringLiteral("Get"));
  call.setArguments({kInterface, QStringLiteral("Version")});
  const QDBusMessage reply = bus_.call(call, QDBus::Block, options_.callTimeoutMs);
  if (!answered(reply, "v")) {
    return std::nullopt;
  }
  const QVariant value = reply.arguments().first().value<QDBusVariant>().variant();
  if (value.metaType() != QMetaType::fromType<uint>()) {
    return std::nullopt;
  }
  return value.toUInt();
}

void GnomeWindowSystem::extensionOwnerChanged(const QString& owner) {
  owner_ = owner;
  serial_.reset();
  windows_.clear();
  frontmost_.reset();
  trusted_ = false;
  stale_ = true;
  if (!owner_.isEmpty()) {
    readAll();
  }
}

bool GnomeWindowSystem::readAll() {
  const auto version = extensionVersion();
  if (version && *version != gnome::kExtensionVersion) {
    // Another version answers: nothing of it is used until the name changes hands.
    trusted_ = false;
    stale_ = false;
    return false;
  }
  const QDBusMessage reply = version ? bus_.call(extensionCall(QStringLiteral("Snapshot")),
                                                 QDBus::Block, options_.callTimeoutMs)
                                     : QDBusMessage();
  if (!take(reply, false)) {
    // Not answering now (a busy shell): asked again at the next check.
    trusted_ = false;
    stale_ = true;
    return false;
  }
  stale_ = false;
  trusted_ = true;
  return true;
}

void GnomeWindowSystem::takeAnnouncement(const QDBusMessage& message) {
  if (trusted_ && !stale_) {
    take(message, true);
  }
}

bool GnomeWindowSystem::take(const QDBusMessage& message, bool announced) {
  const auto expected = announced ? QDBusMessage::SignalMessage : QDBusMessage::ReplyMessage;
  if (message.type() != expected || message.signature() != kStateSignature || owner_.isEmpty() ||
      message.service() != owner_) {
    return false;
  }
  const QVariantList arguments = message.arguments();
  const std::uint64_t serial = arguments.at(0).toULongLong();
  // A reading is as new as the last announcement it counts; an announcement must be newer.
  if (serial_ && (announced ? serial <= *serial_ : serial < *serial_)) {
    return true;
  }
  const auto list = arguments.at(1).value<QDBusArgument>();
  std::vector<Window> windows;
  list.beginArray();
  while (!list.atEnd()) {
    Window w;
    QString wmClass, appId, title;
    qulonglong id = 0;
    list.beginStructure();
    list >> id >> w.pid >> wmClass >> appId >> title >> w.minimized >> w.ordinary >>
        w.onCurrentWorkspace >> w.skipsTaskbar;
    list.endStructure();
    w.id = id;
    if (w.id == 0 || w.pid <= 0 || windows.size() >= kMaxWindows) {
      continue;
    }
    // The desktop's application id names the application best; the class is the fallback.
    QString app = appId.endsWith(QStringLiteral(".desktop")) ? appId.chopped(8) : appId;
    w.app = (app.isEmpty() ? wmClass : app).left(kMaxText).toStdString();
    w.title = title.left(kMaxText).toStdString();
    windows.push_back(std::move(w));
  }
  list.endArray();
  serial_ = serial;
  windows_ = std::move(windows);
  const std::int32_t focused = arguments.at(2).toInt();
  if (focused <= 0) {
    frontmost_.reset();
  } else if (focused != options_.ownPid) {
    // While this program's own window is active, the application before it stays frontmost.
    frontmost_ = focused;
  }
  Q_EMIT updated();
  return true;
}

bool GnomeWindowSystem::ready() {
  if (stale_ && !owner_.isEmpty()) {
    readAll();
  }
  return trusted_ && !stale_;
}

bool GnomeWindowSystem::iconify(const std::vector<std::uint64_t>& ids) {
  if (ids.empty()) {
    return false;
  }
  QList<qulonglong> list(ids.begin(), ids.end());
  const QDBusMessage reply =
      bus_.call(extensionCall(QStringLiteral("Iconify"), {QVariant::fromValue(list)}), QDBus::Block,
                options_.callTimeoutMs);
  if (!answered(reply, "u") || reply.arguments().first().toUInt() == 0) {
    // Every one of them was already minimized or gone: an announcement went missing.
    stale_ = true;
    return false;
  }
  // Until the next announcement, what the shell is minimizing counts as minimized.
  for (Window& w : windows_) {
    if (std::find(ids.begin(), ids.end(), w.id) != ids.end()) {
      w.minimized = true;
    }
  }
  return true;
}

WindowEntries GnomeWindowSystem::onScreenWindowEntries() {
  if (!ready()) {
    return nullptr;
  }
  std::vector<WindowEntry> entries;
  entries.reserve(windows_.size());
  for (const Window& w : windows_) {
    if (w.minimized || !w.onCurrentWorkspace || w.pid == options_.ownPid) {
      continue;
    }
    WindowEntry entry;
    // Windows that are not an application's own (menus, docks) or stay out of the task bar
    // stand above the ordinary layer, as on X11.
    entry.layer = std::int64_t{w.ordinary && !w.skipsTaskbar ? 0 : 3};
    // The shell's ids grow from 1 and are never reused while it runs.
    entry.number = static_cast<std::int64_t>(w.id & 0xffffffffu);
    entry.ownerPID = std::int64_t{w.pid};
    entry.ownerName = w.app;
    entry.name = w.title;
    entries.push_back(std::move(entry));
  }
  return listed_ = unlessUnchanged(listed_, std::move(entries));
}

bool GnomeWindowSystem::hideApplication(std::int32_t pid) {
  if (pid <= 0 || pid == options_.ownPid || !ready()) {
    return false;
  }
  bool runs = false;
  std::vector<std::uint64_t> ids;
  for (const Window& w : windows_) {
    runs = runs || w.pid == pid;
    if (w.pid == pid && w.ordinary && !w.minimized && w.onCurrentWorkspace) {
      ids.push_back(w.id);
    }
  }
  // An application hidden already is hidden: the loop keeps counting it as minimized.
  if (!runs || ids.empty() || iconify(ids)) {
    return runs;
  }
  // The shell found nothing to do: what it holds now says whether the application still runs.
  ready();
  return std::any_of(windows_.begin(), windows_.end(),
                     [&](const Window& w) { return w.pid == pid; });
}

std::optional<std::vector<AccessibleWindow>> GnomeWindowSystem::applicationWindows(
    std::int32_t pid) {
  if (pid <= 0 || !ready()) {
    return std::nullopt;
  }
  std::vector<AccessibleWindow> result;
  for (const Window& w : windows_) {
    if (w.pid == pid) {
      result.push_back(AccessibleWindow{w.id, w.title, w.minimized});
    }
  }
  return result;
}

bool GnomeWindowSystem::setMinimized(const AccessibleWindow& window) {
  const bool known = std::any_of(windows_.begin(), windows_.end(), [&](const Window& w) {
    return w.id == window.handle && w.pid != options_.ownPid;
  });
  return known && ready() && iconify({window.handle});
}

std::optional<std::int32_t> GnomeWindowSystem::frontmostApplicationPID() {
  if (!ready()) {
    return std::nullopt;
  }
  return frontmost_;
}

}  // namespace dozewick
