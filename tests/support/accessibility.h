// Drives a program over the accessibility bus, as a screen reader does (Qt D-Bus).
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <optional>
#include <vector>

namespace dozewick::testing {

// Drives a program over the accessibility bus (AT-SPI), as a screen reader does: finds its
// controls by role and name, does their actions, reads their names (a label's is its text). The
// session must run the bus (org.a11y.Bus) and the program expose its widgets there (Qt does with
// QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1); X11 or Wayland makes no difference.
class AccessibilityBus {
 public:
  struct Object {
    QString service, path;
  };

  AccessibilityBus()
      : bus_(QDBusConnection::connectToBus(
            QDBusConnection::sessionBus()
                .call(QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus",
                                                     "org.a11y.Bus", "GetAddress"))
                .arguments()
                .value(0)
                .toString(),
            kConnection)) {}
  ~AccessibilityBus() { QDBusConnection::disconnectFromBus(kConnection); }

  bool connected() const { return bus_.isConnected(); }

  // The root of the process's objects, once it is on the bus.
  std::optional<Object> application(qint64 pid) const {
    for (const QString& name : bus_.interface()->registeredServiceNames().value()) {
      if (name.startsWith(':') && bus_.interface()->servicePid(name).value() == pid)
        return Object{name, "/org/a11y/atspi/accessible/root"};
    }
    return std::nullopt;
  }

  // The first object under `root` on screen, depth first, of the role ("push button", "label",
  // …) whose name contains `name`.
  std::optional<Object> find(const Object& root, const QString& role, const QString& name) const {
    std::vector<Object> pending{root};
    for (int visited = 0; !pending.empty() && visited < 2000; ++visited) {
      const Object object = pending.back();
      pending.pop_back();
      if (call(object, kAccessible, "GetRoleName").value(0).toString() == role &&
          this->name(object).contains(name) && showing(object))
        return object;
      const auto list =
          qvariant_cast<QDBusArgument>(call(object, kAccessible, "GetChildren").value(0));
      std::vector<Object> children;
      list.beginArray();
      while (!list.atEnd()) {
        QDBusObjectPath path;
        children.emplace_back();
        list.beginStructure();
        list >> children.back().service >> path;
        list.endStructure();
        children.back().path = path.path();
      }
      list.endArray();
      pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return std::nullopt;
  }

  // Hidden widgets stay on the bus; their state lacks "showing" (bit 25 of the first word).
  bool showing(const Object& object) const {
    const auto states = qdbus_cast<QList<uint>>(call(object, kAccessible, "GetState").value(0));
    return !states.isEmpty() && (states.first() & (1u << 25)) != 0;
  }

  QString name(const Object& object) const {
    return property(object, kAccessible, "Name").toString();
  }

  // Does the object's action of that name ("Press", …).
  bool doAction(const Object& object, const QString& action) const {
    const int count = property(object, kAction, "NActions").toInt();
    for (int i = 0; i < count; ++i) {
      if (call(object, kAction, "GetName", {i}).value(0).toString() == action)
        return call(object, kAction, "DoAction", {i}).value(0).toBool();
    }
    return false;
  }

 private:
  static constexpr const char* kConnection = "dozewick-test-accessibility";
  static constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
  static constexpr const char* kAction = "org.a11y.atspi.Action";

  QVariantList call(const Object& object, const char* interface, const char* method,
                    const QVariantList& arguments = {}) const {
    auto message = QDBusMessage::createMethodCall(object.service, object.path, interface, method);
    message.setArguments(arguments);
    return bus_.call(message, QDBus::Block, 5000).arguments();
  }
  QVariant property(const Object& object, const char* interface, const char* name) const {
    const QVariantList reply =
        call(object, "org.freedesktop.DBus.Properties", "Get", {interface, name});
    return qvariant_cast<QDBusVariant>(reply.value(0)).variant();
  }

  QDBusConnection bus_;
};

}  // namespace dozewick::testing
