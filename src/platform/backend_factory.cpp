// The one place that knows every backend: their names, which one a session gets, and making it.
#include "platform/backend_factory.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QStandardPaths>
#include <algorithm>
#include <array>
#include <cctype>
#include <string>

#include "platform/gnome/gnome_backend.h"
#include "platform/gnome/gnome_icon_offer.h"
#include "platform/kwin/kwin_backend.h"
#include "platform/none/none_backend.h"
#include "platform/x11/x11_backend.h"

namespace dozewick {

namespace {

constexpr std::array kChoices = {
    BackendChoice{BackendKind::x11, "x11", "an X11 session with an EWMH window manager"},
    BackendChoice{BackendKind::kwin, "kwin", "KDE Plasma on Wayland, through a KWin script"},
    BackendChoice{BackendKind::gnome, "gnome",
                  "GNOME on Wayland, through Dozewick's shell extension"},
    BackendChoice{BackendKind::none, "none", "manage no windows"},
};

std::string lower(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

bool isSet(const char* value) {
  return value != nullptr && *value != '\0';
}

// XDG_CURRENT_DESKTOP is a colon-separated list, e.g. "KDE" or "ubuntu:GNOME".
bool desktopIs(const char* list, std::string_view name) {
  if (!isSet(list)) {
    return false;
  }
  std::string_view rest(list);
  while (!rest.empty()) {
    const auto colon = rest.find(':');
    if (lower(rest.substr(0, colon)) == name) {
      return true;
    }
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
  }
  return false;
}

}  // namespace

std::span<const BackendChoice> backendChoices() {
  return kChoices;
}

std::string_view backendName(BackendKind kind) {
  const auto found = std::find_if(kChoices.begin(), kChoices.end(),
                                  [kind](const BackendChoice& c) { return c.kind == kind; });
  return found->name;
}

BackendKind detectBackend(const std::function<const char*(const char*)>& variable) {
  const char* sessionType = variable("XDG_SESSION_TYPE");
  const std::string type = isSet(sessionType) ? lower(sessionType) : std::string();
  const bool wayland = type == "wayland" || (type.empty() && isSet(variable("WAYLAND_DISPLAY")));
  if (wayland) {
    const char* desktop = variable("XDG_CURRENT_DESKTOP");
    if (desktopIs(desktop, "kde")) {
      return BackendKind::kwin;
    }
    if (desktopIs(desktop, "gnome")) {
      return BackendKind::gnome;
    }
    return BackendKind::none;
  }
  if (type == "x11" || isSet(variable("DISPLAY"))) {
    return BackendKind::x11;
  }
  return BackendKind::none;
}

std::unique_ptr<Backend> makeBackend(BackendKind kind, const BackendContext& context) {
  switch (kind) {
    case BackendKind::x11: {
      auto backend = std::make_unique<X11Backend>(context);
      // GNOME Shell on Xorg has no tray; its top bar shows Dozewick's icon once the extension is
      // there. Asked of the running shell, not of variables a session may not set.
      auto bus = QDBusConnection::sessionBus();
      if (bus.isConnected() &&
          bus.interface()->isServiceRegistered(QStringLiteral("org.gnome.Shell")))
        backend->setShellIconOffer(std::make_unique<GnomeIconOffer>(bus, context.texts));
      return backend;
    }
    case BackendKind::kwin:
      return std::make_unique<KWinBackend>(
          QDBusConnection::sessionBus(), KWinBackend::builtInScript(),
          QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation), context,
          KWinBackend::Options());
    case BackendKind::gnome:
      return std::make_unique<GnomeBackend>(QDBusConnection::sessionBus(), context);
    case BackendKind::none:
      break;
  }
  return std::make_unique<NoneBackend>(context);
}

}  // namespace dozewick
