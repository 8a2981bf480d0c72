// The GNOME backend: GNOME Shell on Wayland, through the extension Dozewick installs into it.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/backend.h"
#include "platform/desktop_model.h"

namespace dozewick {

// The desktop of a GNOME Shell session, through the extension Dozewick installs into the shell
// (see gnome_extension.h). The extension announces every change of the windows and the focus, so
// a check costs the shell nothing: the desktop model answers from its last announcement. The
// whole state is read from the shell only at start, when the extension (re)appears on the bus,
// and when an iconify shows that what was announced is out of date.
class GnomeBackend final : public QObject, public Backend, private DesktopModel::Transport {
  Q_OBJECT

 public:
  GnomeBackend(QDBusConnection bus, const BackendContext& context, int callTimeoutMs = 2000);
  ~GnomeBackend() override;

  WindowSystem& windowSystem() override { return model_; }
  // Ready when the extension answered with the version this program understands when it last
  // appeared on the bus; Authorize installs it where it is missing or older.
  Readiness readiness() override {
    return readiness_ == Readiness::ready && model_.keepsEveryWindow() ? Readiness::keepsWindows
                                                                       : readiness_;
  }
  // Reads the extension's state, then follows its announcements.
  void start() override;
  void stop() override;
  // Installs (or updates) the extension and switches it on, and says so in a notification. The
  // shell on Wayland loads a new extension only when it starts, that is at the next login.
  AuthorizeOutcome authorize() override;
  std::string requirementKey() override { return "needs.gnome"; }
  // Stock GNOME has no tray: the extension draws Dozewick's icon in the top bar instead.
  std::unique_ptr<ShellIcon> shellIcon(std::function<void()> clicked) override;

  // Asks the extension for its version; nullopt when it does not answer.
  std::optional<unsigned> extensionVersion() const;
  const DesktopModel& model() const { return model_; }

 Q_SIGNALS:
  // The extension's state was taken in (read whole or announced); for tests and measurements.
  void updated();

 private Q_SLOTS:
  void takeAnnouncement(const QDBusMessage& message);

 private:
  bool refresh() override;
  Answer minimize(const std::vector<std::uint64_t>& ids) override;
  Answer restore(const std::vector<std::uint64_t>& ids) override;

  void extensionOwnerChanged(const QString& owner);
  // Reads the version and the whole state; false when the extension cannot be trusted now.
  bool readAll();
  // Takes a state (serial, windows, focused pid) unless an equally new one was taken already.
  bool take(const QDBusMessage& message, bool announced);

  QDBusConnection bus_;
  const Localizer* texts_;
  int callTimeoutMs_;
  DesktopModel model_;
  bool started_ = false;
  Readiness readiness_ = Readiness::needsAuthorize;
  QString owner_;      // the extension's unique bus name, empty while it is away
  bool stale_ = true;  // the state must be read whole before it is used
  std::optional<std::uint64_t> serial_;
};

}  // namespace dozewick
