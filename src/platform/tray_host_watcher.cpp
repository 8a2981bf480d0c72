// Whether the desktop has a tray host now, and the moment one comes up.
#include "platform/tray_host_watcher.h"

#include <qpa/qplatformnativeinterface.h>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QScreen>

namespace dozewick {

namespace {

// The names Qt's D-Bus tray itself asks for.
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString hostRegisteredSignal = QStringLiteral("StatusNotifierHostRegistered");
constexpr int replyTimeoutMs = 500;

bool onXcb() {
  return QGuiApplication::platformName() == QLatin1String("xcb");
}

// Asked of Qt's own XCB tray tracker, the one QSystemTrayIcon docks through: the two never
// disagree on whether there is a tray. Asking also starts the tracker, which then reports a new
// owner of the selection (its MANAGER message).
bool xembedTrayOwned() {
  QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
  return native != nullptr && QGuiApplication::primaryScreen() != nullptr &&
         native->nativeResourceForScreen(QByteArrayLiteral("traywindow"),
                                         QGuiApplication::primaryScreen()) != nullptr;
}

}  // namespace

TrayHostWatcher::TrayHostWatcher(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
  // Subscribed before the first look, so that a host coming up in between is not missed.
  if (onXcb() && QGuiApplication::platformNativeInterface() != nullptr) {
    connect(QGuiApplication::platformNativeInterface(), SIGNAL(systemTrayWindowChanged(QScreen*)),
            this, SLOT(xembedTrayChanged(QScreen*)));
  }
  if (bus_.isConnected())
    watchStatusNotifierWatcher();
  if ((onXcb() && xembedTrayOwned()) || statusNotifierHostRegistered()) {
    present_ = true;
    found();
  }
}

void TrayHostWatcher::watchStatusNotifierWatcher() {
  auto* service = new QDBusServiceWatcher(watcherService, bus_,
                                          QDBusServiceWatcher::WatchForRegistration, this);
  service->setObjectName(QStringLiteral("statusNotifierWatcher"));
  connect(service, &QDBusServiceWatcher::serviceRegistered, this, &TrayHostWatcher::hostRegistered);
  bus_.connect(watcherService, watcherPath, watcherService, hostRegisteredSignal, this,
               SLOT(hostRegistered()));
}

bool TrayHostWatcher::statusNotifierHostRegistered() {
  if (!bus_.isConnected() || bus_.interface() == nullptr ||
      !bus_.interface()->isServiceRegistered(watcherService))
    return false;
  QDBusMessage get = QDBusMessage::createMethodCall(
      watcherService, watcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
      QStringLiteral("Get"));
  get << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
  const QDBusReply<QDBusVariant> reply = bus_.call(get, QDBus::Block, replyTimeoutMs);
  return reply.isValid() && reply.value().variant().toBool();
}

void TrayHostWatcher::hostRegistered() {
  if (!present_ && statusNotifierHostRegistered()) {
    present_ = true;
    found();
    Q_EMIT appeared();
  }
}

void TrayHostWatcher::xembedTrayChanged(QScreen*) {
  if (!present_ && xembedTrayOwned()) {
    present_ = true;
    found();
    Q_EMIT appeared();
  }
}

void TrayHostWatcher::found() {
  // Once in the tray the program stays there (Qt follows a tray that restarts): nothing more to
  // follow.
  delete findChild<QDBusServiceWatcher*>(QStringLiteral("statusNotifierWatcher"));
  bus_.disconnect(watcherService, watcherPath, watcherService, hostRegisteredSignal, this,
                  SLOT(hostRegistered()));
  if (QGuiApplication::platformNativeInterface() != nullptr)
    QGuiApplication::platformNativeInterface()->disconnect(this);
}

}  // namespace dozewick
