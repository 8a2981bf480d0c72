#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

namespace dozewick::testing {

// Drives a program through the accessibility bus (AT-SPI), the way a screen reader does: finds
// its controls by role and name, does their actions and reads their texts. Works for any toolkit
// that exposes its widgets there, on X11 and Wayland alike. The program must expose them (Qt does
// with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1), and the session must run the bus (org.a11y.Bus).
class AccessibilityBus {
 public:
  // One object on the bus: an application, a window or a control.
  struct Object {
    QString service;
    QString path;
  };

  AccessibilityBus() {
    auto call = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
    bus_ = QDBusConnection::connectToBus(reply.arguments().value(0).toString(), kConnection);
  }
  ~AccessibilityBus() { QDBusConnection::disconnectFromBus(kConnection); }
  AccessibilityBus(const AccessibilityBus&) = delete;
  AccessibilityBus& operator=(const AccessibilityBus&) = delete;

  bool connected() const { return bus_.isConnected(); }

  // The root of the process's accessible objects, once it is on the bus.
  std::optional<Object> application(qint64 pid) const {
    const QStringList names = bus_.interface()->registeredServiceNames().value();
    for (const QString& name : names) {
      if (name.startsWith(QLatin1Char(':')) &&
          bus_.interface()->servicePid(name).value() == static_cast<uint>(pid)) {
        return Object{name, QStringLiteral("/org/a11y/atspi/accessible/root")};
      }
    }
    return std::nullopt;
  }

  // The first object under `root`, depth first, of the role ("push button", "label", …) whose
  // name contains `name`.
  std::optional<Object> find(const Object& root, const QString& role, const QString& name) const {
    std::vector<Object> pending{root};
    for (int visited = 0; !pending.empty() && visited < 2000; ++visited) {
      const Object object = pending.back();
      pending.pop_back();
      if (call(object, kAccessible, QStringLiteral("GetRoleName")).value(0).toString() == role &&
          this->name(object).contains(name)) {
        return object;
      }
      const auto children = this->children(object);
      pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return std::nullopt;
  }

  QString name(const Object& object) const {
    return property(object, kAccessible, QStringLiteral("Name")).toString();
  }

  // Does the object's action of that name ("Press", …).
  bool doAction(const Object& object, const QString& action) const {
    const int count = property(object, kAction, QStringLiteral("NActions")).toInt();
    for (int i = 0; i < count; ++i) {
      if (call(object, kAction, QStringLiteral("GetName"), {i}).value(0).toString() == action)
        return call(object, kAction, QStringLiteral("DoAction"), {i}).value(0).toBool();
    }
    return false;
  }

 private:
  static constexpr const char* kConnection = "dozewick-test-accessibility";
  static inline const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");
  static inline const QString kAction = QStringLiteral("org.a11y.atspi.Action");

  QVariantList call(const Object& object, const QString& interface, const QString& method,
                    const QVariantList& arguments = {}) const {
    auto message = QDBusMessage::createMethodCall(object.service, object.path, interface, method);
    message.setArguments(arguments);
    return bus_.call(message, QDBus::Block, 5000).arguments();
  }

  QVariant property(const Object& object, const QString& interface, const QString& name) const {
    const QVariant value = call(object, QStringLiteral("org.freedesktop.DBus.Properties"),
                                QStringLiteral("Get"), {interface, name})
                               .value(0);
    return qvariant_cast<QDBusVariant>(value).variant();
  }

  std::vector<Object> children(const Object& object) const {
    std::vector<Object> out;
    const QVariantList reply = call(object, kAccessible, QStringLiteral("GetChildren"));
    if (reply.isEmpty())
      return out;
    const auto list = qvariant_cast<QDBusArgument>(reply.first());
    list.beginArray();
    while (!list.atEnd()) {
      QString service;
      QDBusObjectPath path;
      list.beginStructure();
      list >> service >> path;
      list.endStructure();
      out.push_back({service, path.path()});
    }
    list.endArray();
    return out;
  }

  QDBusConnection bus_{QString()};
};

}  // namespace dozewick::testing
