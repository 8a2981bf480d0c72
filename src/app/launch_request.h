// What a later launch hands to the running instance: the desktop's leave to come to the front.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace dozewick {

// A launcher gives the program it starts a token that lets its window come to the front:
// XDG_ACTIVATION_TOKEN on Wayland (xdg-activation), DESKTOP_STARTUP_ID on X11 (startup
// notification). A later launch passes both on, so that the panel it asks for may use them.
struct LaunchRequest {
  QByteArray activationToken;
  QByteArray startupId;

  bool operator==(const LaunchRequest&) const = default;

  // Read before Qt starts: Qt's X11 connection takes DESKTOP_STARTUP_ID out of the environment.
  static LaunchRequest fromEnvironment();
};

// A token as launchers make them (printable ASCII, no spaces, at most kMaxLaunchToken bytes), or
// empty: anything else is not passed on, nor taken.
constexpr int kMaxLaunchToken = 255;
QByteArray launchToken(QByteArrayView value);

// The message a later launch sends: a line for each token, then "show". An instance of an older
// version skips the lines it does not know and still answers "show".
QByteArray launchMessage(const LaunchRequest& request);

// Takes one line of the message (with or without its newline) into `pending`; true when it is
// the closing "show", whose request is then complete. Unknown lines and bad tokens are skipped.
bool readLaunchLine(QByteArrayView line, LaunchRequest& pending);

// The longest line either side sends.
constexpr int kMaxLaunchLine = 300;

}  // namespace dozewick
