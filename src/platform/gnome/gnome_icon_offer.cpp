// Dozewick's top-bar icon in GNOME Shell on X11, where the windows are reached through X11.
#include "platform/gnome/gnome_icon_offer.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <iostream>

#include "platform/gnome/gnome_extension.h"
#include "platform/gnome/gnome_top_bar_icon.h"

namespace dozewick {

GnomeIconOffer::GnomeIconOffer(QDBusConnection bus, const Localizer* texts, int callTimeoutMs)
    : bus_(std::move(bus)), texts_(texts), callTimeoutMs_(callTimeoutMs) {
  const QString name = QString::fromLatin1(gnome::kBusName);
  auto* watcher =
      new QDBusServiceWatcher(name, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& owner) { ownerChanged(owner); });
  if (bus_.isConnected())
    ownerChanged(bus_.interface()->serviceOwner(name));
}

// Asked once each time the name changes hands: the shell restarts rarely.
void GnomeIconOffer::ownerChanged(const QString& owner) {
  answers_ = false;
  if (owner.isEmpty())
    return;
  auto call = QDBusMessage::createMethodCall(owner, QString::fromLatin1(gnome::kObjectPath),
                                             QStringLiteral("org.freedesktop.DBus.Properties"),
                                             QStringLiteral("Get"));
  call.setArguments({QString::fromLatin1(gnome::kInterface), QStringLiteral("Version")});
  const QDBusMessage reply = bus_.call(call, QDBus::Block, callTimeoutMs_);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QStringLiteral("v"))
    return;
  const QVariant version = reply.arguments().first().value<QDBusVariant>().variant();
  answers_ = version.metaType() == QMetaType::fromType<uint>() &&
             version.toUInt() == gnome::kExtensionVersion;
}

std::unique_ptr<ShellIcon> GnomeIconOffer::shellIcon(std::function<void()> clicked) {
  return std::make_unique<GnomeTopBarIcon>(bus_, std::move(clicked), [this] { return answers_; });
}

AuthorizeOutcome GnomeIconOffer::install() {
  const gnome::InstallResult result = gnome::installBuiltInExtension();
  AuthorizeOutcome outcome{result.ok,
                           texts_ ? gnome::describeInstall(result, *texts_, "button.topBarIcon")
                                  : result.detail.toStdString()};
  if (!result.ok) {
    std::cerr << "Dozewick: " << outcome.message << '\n';
  } else if (outcome.message.empty() && texts_) {
    // Files already in place may be older than the running shell, which then has not read them:
    // only a restart is sure to show the icon.
    outcome.message = texts_->localizedString("topBar.restart");
  }
  return outcome;
}

}  // namespace dozewick
