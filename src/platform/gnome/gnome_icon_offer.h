// Dozewick's top-bar icon in GNOME Shell on X11, where the windows are reached through X11.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include "platform/backend.h"

namespace dozewick {

// On X11 the desktop is trusted, so nothing asks for Authorize; without a tray, the extension is
// wanted only for the icon it draws in the top bar. This offers it: it installs the extension as
// Authorize does on Wayland and follows whether the extension of this version answers.
class GnomeIconOffer final : public QObject, public ShellIconOffer {
  Q_OBJECT

 public:
  GnomeIconOffer(QDBusConnection bus, const Localizer* texts, int callTimeoutMs = 2000);

  std::unique_ptr<ShellIcon> shellIcon(std::function<void()> clicked) override;
  // The shell on X11 loads a new extension when it restarts (Alt+F2, r), which keeps the
  // windows; the user is told so.
  AuthorizeOutcome install() override;
  bool extensionAnswers() const { return answers_; }

 private:
  void ownerChanged(const QString& owner);

  QDBusConnection bus_;
  const Localizer* texts_;
  int callTimeoutMs_;
  bool answers_ = false;
};

}  // namespace dozewick
