#include "platform/gnome/gnome_window_system.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QList>
#include <algorithm>

#include "platform/gnome/gnome_extension.h"

namespace dozewick {

namespace {

constexpr std::size_t kMaxWindows = 1 << 14;
constexpr qsizetype kMaxText = 1 << 14;

QDBusMessage extensionCall(const QString& method, const QVariantList& arguments = {}) {
  auto call = QDBusMessage::createMethodCall(QString::fromLatin1(gnome::kBusName),
                                             QString::fromLatin1(gnome::kObjectPath),
                                             QString::fromLatin1(gnome::kInterface), method);
  call.setArguments(arguments);
  return call;
}

bool answered(const QDBusMessage& reply, const char* signature) {
  return reply.type() == QDBusMessage::ReplyMessage && reply.signature() == signature;
}

}  // namespace

GnomeWindowSystem::GnomeWindowSystem(QDBusConnection bus, Options options)
    : bus_(std::move(bus)), options_(options) {}

std::optional<unsigned> GnomeWindowSystem::extensionVersion() const {
  auto call = QDBusMessage::createMethodCall(
      QString::fromLatin1(gnome::kBusName), QString::fromLatin1(gnome::kObjectPath),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  call.setArguments({QString::fromLatin1(gnome::kInterface), QStringLiteral("Version")});
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

bool GnomeWindowSystem::trusted() const {
  return extensionVersion() == gnome::kExtensionVersion;
}

std::optional<std::vector<GnomeWindowSystem::Window>> GnomeWindowSystem::listWindows() const {
  const QDBusMessage reply =
      bus_.call(extensionCall(QStringLiteral("ListWindows")), QDBus::Block, options_.callTimeoutMs);
  if (!answered(reply, "a(tisssbbbb)")) {
    return std::nullopt;
  }
  const auto argument = reply.arguments().first().value<QDBusArgument>();
  std::vector<Window> windows;
  argument.beginArray();
  while (!argument.atEnd()) {
    Window w;
    QString wmClass, appId, title;
    argument.beginStructure();
    qulonglong id = 0;
    argument >> id >> w.pid >> wmClass >> appId >> title >> w.minimized >> w.ordinary >>
        w.onCurrentWorkspace >> w.skipsTaskbar;
    argument.endStructure();
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
  argument.endArray();
  return windows;
}

bool GnomeWindowSystem::iconify(const std::vector<std::uint64_t>& ids) {
  if (ids.empty()) {
    return false;
  }
  QList<qulonglong> list(ids.begin(), ids.end());
  const QDBusMessage reply =
      bus_.call(extensionCall(QStringLiteral("Iconify"), {QVariant::fromValue(list)}), QDBus::Block,
                options_.callTimeoutMs);
  return answered(reply, "u") && reply.arguments().first().toUInt() > 0;
}

std::optional<std::vector<WindowEntry>> GnomeWindowSystem::onScreenWindowEntries() {
  const auto windows = listWindows();
  if (!windows) {
    return std::nullopt;
  }
  std::vector<WindowEntry> entries;
  for (const Window& w : *windows) {
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
  return entries;
}

bool GnomeWindowSystem::hideApplication(std::int32_t pid) {
  if (pid <= 0 || pid == options_.ownPid) {
    return false;
  }
  const auto windows = listWindows();
  if (!windows) {
    return false;
  }
  std::vector<std::uint64_t> ids;
  for (const Window& w : *windows) {
    if (w.pid == pid && w.ordinary && !w.minimized && w.onCurrentWorkspace) {
      ids.push_back(w.id);
    }
  }
  return iconify(ids);
}

std::optional<std::vector<AccessibleWindow>> GnomeWindowSystem::applicationWindows(
    std::int32_t pid) {
  if (pid <= 0) {
    return std::nullopt;
  }
  const auto windows = listWindows();
  if (!windows) {
    return std::nullopt;
  }
  std::vector<AccessibleWindow> result;
  for (const Window& w : *windows) {
    if (w.pid == pid) {
      result.push_back(AccessibleWindow{w.id, w.title, w.minimized});
    }
  }
  return result;
}

bool GnomeWindowSystem::setMinimized(const AccessibleWindow& window) {
  return window.handle != 0 && iconify({window.handle});
}

std::optional<std::int32_t> GnomeWindowSystem::frontmostApplicationPID() {
  const QDBusMessage reply =
      bus_.call(extensionCall(QStringLiteral("FocusedPid")), QDBus::Block, options_.callTimeoutMs);
  if (!answered(reply, "i")) {
    return std::nullopt;
  }
  const std::int32_t pid = reply.arguments().first().toInt();
  if (pid <= 0) {
    frontmost_.reset();
  } else if (pid != options_.ownPid) {
    // While this program's own window is active, the application before it stays frontmost.
    frontmost_ = pid;
  }
  return frontmost_;
}

}  // namespace dozewick
