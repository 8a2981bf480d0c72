// The GNOME backend: GNOME Shell on Wayland, through the extension Dozewick installs into it.
#include "platform/gnome/gnome_backend.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QList>
#include <iostream>

#include "platform/gnome/gnome_extension.h"
#include "platform/gnome/gnome_state.h"
#include "platform/gnome/gnome_top_bar_icon.h"

namespace dozewick {

namespace {

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

// A desktop notification; GNOME Shell shows it in its message tray.
void notify(QDBusConnection bus, const QString& body) {
  auto call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                             QStringLiteral("/org/freedesktop/Notifications"),
                                             QStringLiteral("org.freedesktop.Notifications"),
                                             QStringLiteral("Notify"));
  call.setArguments({QStringLiteral("Dozewick"), 0u, QStringLiteral("dozewick"),
                     QStringLiteral("Dozewick"), body, QStringList(), QVariantMap(), -1});
  bus.call(call, QDBus::NoBlock);
}

}  // namespace

GnomeBackend::GnomeBackend(QDBusConnection bus, const BackendContext& context, int callTimeoutMs)
    : Backend(context),
      bus_(std::move(bus)),
      texts_(context.texts),
      callTimeoutMs_(callTimeoutMs),
      model_(*this, context.ownPid, context.diagnostics ? *context.diagnostics : std::cerr) {}

GnomeBackend::~GnomeBackend() {
  stop();
}

void GnomeBackend::start() {
  if (std::exchange(started_, true)) {
    return;
  }
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

void GnomeBackend::stop() {
  if (!std::exchange(started_, false)) {
    return;
  }
  bus_.disconnect(kBusName, kObjectPath, kInterface, QStringLiteral("Changed"), this,
                  SLOT(takeAnnouncement(QDBusMessage)));
  qDeleteAll(findChildren<QDBusServiceWatcher*>());
}

std::optional<unsigned> GnomeBackend::extensionVersion() const {
  auto call = QDBusMessage::createMethodCall(kBusName, kObjectPath,
                                             QStringLiteral("org.freedesktop.DBus.Properties"),
                                             QStringLiteral("Get"));
  call.setArguments({kInterface, QStringLiteral("Version")});
  const QDBusMessage reply = bus_.call(call, QDBus::Block, callTimeoutMs_);
  if (!answered(reply, "v")) {
    return std::nullopt;
  }
  const QVariant value = reply.arguments().first().value<QDBusVariant>().variant();
  if (value.metaType() != QMetaType::fromType<uint>()) {
    return std::nullopt;
  }
  return value.toUInt();
}

void GnomeBackend::extensionOwnerChanged(const QString& owner) {
  owner_ = owner;
  serial_.reset();
  model_.forget();
  readiness_ = Readiness::needsAuthorize;
  stale_ = true;
  if (!owner_.isEmpty()) {
    readAll();
  }
}

bool GnomeBackend::readAll() {
  const auto version = extensionVersion();
  if (version && *version != gnome::kExtensionVersion) {
    // Another version answers: nothing of it is used until the name changes hands.
    readiness_ = Readiness::needsAuthorize;
    stale_ = false;
    return false;
  }
  const QDBusMessage reply =
      version ? bus_.call(extensionCall(QStringLiteral("Snapshot")), QDBus::Block, callTimeoutMs_)
              : QDBusMessage();
  if (!take(reply, false)) {
    // Not answering now (a busy shell): asked again at the next check.
    readiness_ = Readiness::notAnswering;
    stale_ = true;
    return false;
  }
  stale_ = false;
  readiness_ = Readiness::ready;
  return true;
}

void GnomeBackend::takeAnnouncement(const QDBusMessage& message) {
  if (readiness_ == Readiness::ready && !stale_) {
    take(message, true);
  }
}

bool GnomeBackend::take(const QDBusMessage& message, bool announced) {
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
  std::vector<DesktopWindow> windows;
  std::size_t listed = 0;
  list.beginArray();
  while (!list.atEnd()) {
    gnome::AnnouncedWindow entry;
    list >> entry;
    auto window = gnome::windowOf(entry);
    if (window && ++listed <= DesktopModel::kMaxWindows) {
      windows.push_back(std::move(*window));
    }
  }
  list.endArray();
  if (listed > DesktopModel::kMaxWindows) {
    model_.noteTooManyWindows(listed);
  }
  serial_ = serial;
  const std::int32_t focused = arguments.at(2).toInt();
  model_.report(std::move(windows), focused > 0 ? std::optional(focused) : std::nullopt);
  Q_EMIT updated();
  return true;
}

bool GnomeBackend::refresh() {
  if (stale_ && !owner_.isEmpty()) {
    readAll();
  }
  return readiness_ == Readiness::ready && !stale_;
}

DesktopModel::Transport::Answer GnomeBackend::minimize(const std::vector<std::uint64_t>& ids) {
  QList<qulonglong> list(ids.begin(), ids.end());
  const QDBusMessage reply =
      bus_.call(extensionCall(QStringLiteral("Iconify"), {QVariant::fromValue(list)}), QDBus::Block,
                callTimeoutMs_);
  if (!answered(reply, "u") || reply.arguments().first().toUInt() == 0) {
    // Every one of them was already minimized or gone: an announcement went missing.
    stale_ = true;
    return Answer::outdated;
  }
  return Answer::taken;
}

DesktopModel::Transport::Answer GnomeBackend::restore(const std::vector<std::uint64_t>& ids) {
  QList<qulonglong> list(ids.begin(), ids.end());
  const QDBusMessage reply =
      bus_.call(extensionCall(QStringLiteral("Unminimize"), {QVariant::fromValue(list)}),
                QDBus::Block, callTimeoutMs_);
  if (!answered(reply, "u"))
    return Answer::refused;
  // None restored: the windows were shown or closed meanwhile, which the next announcement tells.
  return Answer::taken;
}

// What stands in the extension's place and is not Dozewick's own is left alone, and the user is
// told; the shell on Wayland loads a new extension only at the next login.
AuthorizeOutcome GnomeBackend::authorize() {
  const gnome::InstallResult result = gnome::installBuiltInExtension();
  AuthorizeOutcome outcome{
      result.ok, texts_ ? gnome::describeInstall(result, *texts_) : result.detail.toStdString()};
  // New files are read by the shell only when it starts; a copy already in place it knows, and
  // switching that one on takes effect at once.
  outcome.needsNewLogin = result.ok && result.outcome == gnome::InstallOutcome::installed;
  if (!result.ok)
    std::cerr << "Dozewick: " << outcome.message << '\n';
  const std::string next = texts_ ? texts_->localizedString("permission.step2") : std::string();
  notify(bus_, QString::fromStdString(outcome.message.empty() ? next : outcome.message));
  return outcome;
}

std::unique_ptr<ShellIcon> GnomeBackend::shellIcon(std::function<void()> clicked) {
  return std::make_unique<GnomeTopBarIcon>(bus_, std::move(clicked),
                                           [this] { return readiness_ == Readiness::ready; });
}

}  // namespace dozewick
