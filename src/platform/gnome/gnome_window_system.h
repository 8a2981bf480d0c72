#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/window_system.h"

namespace dozewick {

// The desktop of a GNOME Shell session, through the extension Dozewick installs into the shell
// (see gnome_extension.h). The extension announces every change of the windows and the focus, so
// a check costs the shell nothing: the listing and the frontmost application are read from its
// last announcement. The whole state is read from the shell only at start, when the extension
// (re)appears on the bus, and when an iconify shows that what was announced is out of date.
// Lives on the main thread; only trusted() may be called from another.
class GnomeWindowSystem final : public QObject, public WindowSystem {
  Q_OBJECT

 public:
  struct Options {
    std::int32_t ownPid = 0;  // this program's windows are never listed nor frontmost
    int callTimeoutMs = 2000;
  };

  // Reads the extension's state once, then follows its announcements.
  GnomeWindowSystem(QDBusConnection bus, Options options);
  ~GnomeWindowSystem() override;

  // Asks the extension for its version; nullopt when it does not answer.
  std::optional<unsigned> extensionVersion() const;
  // True when the extension answered with the version this program understands when it last
  // appeared on the bus. Any thread; never blocks.
  bool trusted() const { return trusted_; }

  WindowEntries onScreenWindowEntries() override;
  bool hideApplication(std::int32_t pid) override;
  std::optional<std::vector<AccessibleWindow>> applicationWindows(std::int32_t pid) override;
  bool setMinimized(const AccessibleWindow& window) override;
  std::optional<std::int32_t> frontmostApplicationPID() override;

 Q_SIGNALS:
  // The extension's state was taken in (read whole or announced); for tests and measurements.
  void updated();

 private Q_SLOTS:
  void takeAnnouncement(const QDBusMessage& message);

 private:
  struct Window {
    std::uint64_t id = 0;
    std::int32_t pid = 0;
    std::string app;
    std::string title;
    bool minimized = false;
    bool ordinary = false;
    bool onCurrentWorkspace = false;
    bool skipsTaskbar = false;
  };

  void extensionOwnerChanged(const QString& owner);
  // Reads the version and the whole state; false when the extension cannot be trusted now.
  bool readAll();
  // Takes a state (serial, windows, focused pid) unless an equally new one was taken already.
  bool take(const QDBusMessage& message, bool announced);
  bool ready();
  bool iconify(const std::vector<std::uint64_t>& ids);

  QDBusConnection bus_;
  Options options_;
  std::atomic<bool> trusted_{false};
  QString owner_;      // the extension's unique bus name, empty while it is away
  bool stale_ = true;  // the state must be read whole before it is used
  std::optional<std::uint64_t> serial_;
  std::vector<Window> windows_;
  WindowEntries listed_;  // the last listing handed out
  std::optional<std::int32_t> frontmost_;
};

}  // namespace dozewick
