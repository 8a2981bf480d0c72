// Dozewick's icon in GNOME Shell's top bar: the state the extension draws, and its clicks.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>

#include "platform/backend.h"

namespace dozewick {

// Dozewick's side of its icon in GNOME Shell's top bar, which the extension draws while this
// object is on the session bus and no tray host is: what the icon shows, and its clicks. The
// extension reads the state and hears of each change; it keeps nothing else.
class GnomeTopBarIcon final : public QObject, public ShellIcon {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.dozewick.Dozewick")
  Q_PROPERTY(QString State READ state)

 public:
  static constexpr const char* kBusName = "org.dozewick.Dozewick";
  static constexpr const char* kObjectPath = "/org/dozewick/Dozewick";

  // Takes the bus name at once; `clicked` runs for each click on the icon. `extensionAnswers`
  // says whether the extension that draws it runs.
  GnomeTopBarIcon(QDBusConnection bus, std::function<void()> clicked,
                  std::function<bool()> extensionAnswers, QObject* parent = nullptr);
  ~GnomeTopBarIcon() override;

  // False when the bus name could not be had (the extension then shows no icon).
  bool published() const { return published_; }
  bool shown() const override { return published_ && extensionAnswers_ && extensionAnswers_(); }
  void show(State state) override;
  // "permission", "ready" or "running", as the extension knows them.
  QString state() const;

 public Q_SLOTS:
  Q_SCRIPTABLE void TogglePanel();

 private:
  QDBusConnection bus_;
  std::function<void()> clicked_;
  std::function<bool()> extensionAnswers_;
  State state_ = State::needsPermission;
  bool published_ = false;
};

}  // namespace dozewick
