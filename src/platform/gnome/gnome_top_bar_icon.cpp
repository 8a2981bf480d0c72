// Dozewick's icon in GNOME Shell's top bar: the state the extension draws, and its clicks.
#include "platform/gnome/gnome_top_bar_icon.h"

#include <QDBusMessage>
#include <QVariantMap>

namespace dozewick {

GnomeTopBarIcon::GnomeTopBarIcon(QDBusConnection bus, std::function<void()> clicked,
                                 std::function<bool()> extensionAnswers, QObject* parent)
    : QObject(parent),
      bus_(std::move(bus)),
      clicked_(std::move(clicked)),
      extensionAnswers_(std::move(extensionAnswers)) {
  published_ = bus_.registerObject(
                   QString::fromLatin1(kObjectPath), this,
                   QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportAllProperties) &&
               bus_.registerService(QString::fromLatin1(kBusName));
}

GnomeTopBarIcon::~GnomeTopBarIcon() {
  // The extension takes the icon away as soon as the name is gone.
  if (published_) {
    bus_.unregisterService(QString::fromLatin1(kBusName));
  }
  bus_.unregisterObject(QString::fromLatin1(kObjectPath));
}

void GnomeTopBarIcon::show(State state) {
  if (state == state_) {
    return;
  }
  state_ = state;
  auto changed = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                            QStringLiteral("org.freedesktop.DBus.Properties"),
                                            QStringLiteral("PropertiesChanged"));
  changed.setArguments({QStringLiteral("org.dozewick.Dozewick"),
                        QVariantMap{{QStringLiteral("State"), this->state()}}, QStringList()});
  bus_.send(changed);
}

QString GnomeTopBarIcon::state() const {
  switch (state_) {
    case State::needsPermission:
      break;
    case State::ready:
      return QStringLiteral("ready");
    case State::running:
      return QStringLiteral("running");
  }
  return QStringLiteral("permission");
}

void GnomeTopBarIcon::TogglePanel() {
  if (clicked_) {
    clicked_();
  }
}

}  // namespace dozewick
