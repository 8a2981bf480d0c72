// Whether the desktop has a tray host now, and the moment one comes up.
#pragma once

#include <QDBusConnection>
#include <QObject>

class QScreen;

namespace dozewick {

// The desktop's tray host: a StatusNotifierWatcher with a host registered on the session bus, or
// (X11) an owner of the XEmbed tray selection. Follows both from the bus's and the X server's own
// notices, never by asking again and again.
//
// Qt 6.4 decides once per process, at its first tray question (QSystemTrayIcon's constructor or
// isSystemTrayAvailable()), whether to use the D-Bus tray, and never again. So the program asks
// this watcher, not Qt, until a host is there: only then is the first QSystemTrayIcon made, and
// Qt's one decision sees the host. No second process and no hand-over of the loop are needed.
class TrayHostWatcher final : public QObject {
  Q_OBJECT

 public:
  explicit TrayHostWatcher(QDBusConnection bus, QObject* parent = nullptr);

  bool present() const { return present_; }

 Q_SIGNALS:
  // A host came up where there was none; emitted once, then the watcher stops following.
  void appeared();

 private Q_SLOTS:
  void hostRegistered();
  void xembedTrayChanged(QScreen* screen);

 private:
  void watchStatusNotifierWatcher();
  bool statusNotifierHostRegistered();
  void found();

  QDBusConnection bus_;
  bool present_ = false;
};

}  // namespace dozewick
