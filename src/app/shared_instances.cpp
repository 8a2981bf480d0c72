// The program's one instance of each service, built on first use from the real pieces. They are
// deliberately never destroyed: they hold timers and tasks of the Qt event loop, which no longer
// exists when static objects are torn down, and the process ends right after the loop anyway.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QPointer>
#include <QStandardPaths>
#include <iostream>

#include "app/wiring.h"
#include "core/clock.h"
#include "core/window_manager.h"
#include "localization/language_manager.h"
#include "localization/preferences_file.h"
#include "localization/system_languages.h"
#include "platform/gnome/gnome_extension.h"
#include "platform/gnome/gnome_top_bar_icon.h"
#include "platform/gnome/gnome_window_system.h"
#include "platform/help_page.h"
#include "platform/kwin/kwin_window_system.h"
#include "platform/launch_at_login.h"
#include "platform/permission_checker.h"
#include "platform/qt_runtime.h"
#include "platform/x11/x11_pointer_monitor.h"
#include "platform/x11/x11_window_system.h"
#include "platform/xdg_autostart.h"

namespace dozewick {

namespace {

SystemClock& systemClock() {
  static auto* clock = new SystemClock();
  return *clock;
}

QtRuntime& mainRuntime() {
  static auto* runtime = new QtRuntime();
  return *runtime;
}

WindowSystemKind chosenKind = WindowSystemKind::x11;

// Where no backend fits the session: nothing is listed, and the trust query says no.
class NoWindowSystem final : public WindowSystem {
 public:
  WindowEntries onScreenWindowEntries() override { return nullptr; }
  bool hideApplication(std::int32_t) override { return false; }
  std::optional<std::vector<AccessibleWindow>> applicationWindows(std::int32_t) override {
    return {};
  }
  bool setMinimized(const AccessibleWindow&) override { return false; }
  std::optional<std::int32_t> frontmostApplicationPID() override { return {}; }
};

X11WindowSystem& x11WindowSystem() {
  // The program's own panel and dialogs are never managed, nor the application in front.
  static auto* windows =
      new X11WindowSystem({}, xcb::Connection::kDefaultReplyTimeout,
                          static_cast<std::int32_t>(QCoreApplication::applicationPid()));
  return *windows;
}

KWinWindowSystem& kwinWindowSystem() {
  static auto* windows = [] {
    QFile script(QStringLiteral(":/app/dozewick-kwin.js"));
    script.open(QIODevice::ReadOnly);
    KWinWindowSystem::Options options;
    options.ownPid = static_cast<std::int32_t>(QCoreApplication::applicationPid());
    auto* system = new KWinWindowSystem(
        QDBusConnection::sessionBus(), QString::fromUtf8(script.readAll()),
        QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation), options);
    system->start();
    // KWin would keep running the script, reporting to a bus name nobody holds any more.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, system,
                     &KWinWindowSystem::stop);
    return system;
  }();
  return *windows;
}

GnomeWindowSystem& gnomeWindowSystem() {
  static auto* windows = new GnomeWindowSystem(
      QDBusConnection::sessionBus(),
      {.ownPid = static_cast<std::int32_t>(QCoreApplication::applicationPid())});
  return *windows;
}

// A desktop notification; GNOME Shell shows it in its message tray.
void notify(const QString& body) {
  auto call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                             QStringLiteral("/org/freedesktop/Notifications"),
                                             QStringLiteral("org.freedesktop.Notifications"),
                                             QStringLiteral("Notify"));
  call.setArguments({QStringLiteral("Dozewick"), 0u, QStringLiteral("dozewick"),
                     QStringLiteral("Dozewick"), body, QStringList(), QVariantMap(), -1});
  QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
}

// What Authorize does on GNOME: installs (or updates) the extension and switches it on. The shell
// on Wayland loads a new extension only when it starts, that is at the next login. What stands in
// the extension's place and is not Dozewick's own is left alone, and the user is told.
PermissionChecker::PromptResult authorizeOnGnome() {
  const Localizer& texts = LanguageManager::shared();
  gnome::InstallResult result;
  const auto major = gnome::installedShellMajorVersion();
  if (!major) {
    result.detail = QStringLiteral("GNOME Shell's version cannot be read (gnome-shell --version)");
  } else {
    result = gnome::installExtension(
        gnome::userExtensionsDir(),
        gnome::extensionFiles(gnome::readExtensionSources(QStringLiteral(":/app/gnome")), *major),
        gnome::gsettingsTool());
  }
  PermissionChecker::PromptResult prompt{gnome::describeInstall(result, texts), result.ok};
  if (!result.ok)
    std::cerr << "Dozewick: " << prompt.note << '\n';
  notify(QString::fromStdString(prompt.note.empty() ? texts.localizedString("permission.step2")
                                                    : prompt.note));
  return prompt;
}

WindowSystem& chosenWindowSystem() {
  static WindowSystem* windows = []() -> WindowSystem* {
    switch (chosenKind) {
      case WindowSystemKind::x11:
        return &x11WindowSystem();
      case WindowSystemKind::kwin:
        return &kwinWindowSystem();
      case WindowSystemKind::gnome:
        return &gnomeWindowSystem();
      case WindowSystemKind::none:
        break;
    }
    return new NoWindowSystem();
  }();
  return *windows;
}

std::function<bool()> chosenTrustQuery() {
  switch (chosenKind) {
    case WindowSystemKind::x11: {
      // Answered from the window system's own events: no request unless the window manager
      // changed.
      X11WindowSystem* windows = &x11WindowSystem();
      return [windows] { return windows->trusted(); };
    }
    case WindowSystemKind::kwin: {
      KWinWindowSystem* windows = &kwinWindowSystem();
      return [windows] { return windows->trusted(); };
    }
    case WindowSystemKind::gnome: {
      GnomeWindowSystem* windows = &gnomeWindowSystem();
      return [windows] { return windows->trusted(); };
    }
    case WindowSystemKind::none:
      break;
  }
  return [] { return false; };
}

}  // namespace

void selectWindowSystem(WindowSystemKind kind) {
  chosenKind = kind;
}

LanguageManager& LanguageManager::shared() {
  static auto* manager = [] {
    auto* preferences = new PreferencesFile(std::cerr);
    return new LanguageManager(*preferences, systemLanguages(), &std::cerr);
  }();
  return *manager;
}

PermissionChecker& PermissionChecker::shared() {
  static auto* checker = [] {
    auto platform = desktopPermissionPlatform(chosenTrustQuery());
    if (chosenKind == WindowSystemKind::gnome) {
      platform.prompt = &authorizeOnGnome;
    }
    return new std::shared_ptr<PermissionChecker>(
        PermissionChecker::create(mainRuntime(), LanguageManager::shared(), std::move(platform)));
  }();
  return **checker;
}

WindowManager& WindowManager::shared() {
  static auto* manager = [] {
    return new std::shared_ptr<WindowManager>(WindowManager::create(
        systemClock(), mainRuntime(), chosenWindowSystem(), PermissionChecker::shared()));
  }();
  return **manager;
}

LaunchAtLoginManager& LaunchAtLoginManager::shared() {
  static auto* manager = [] {
    auto* service = new XdgAutostartService(QCoreApplication::applicationFilePath());
    return new LaunchAtLoginManager(mainRuntime(), *service, std::cout);
  }();
  return *manager;
}

std::unique_ptr<TrayController> makeTrayController(bool trayAvailable) {
  ViewServices services{WindowManager::shared(),
                        PermissionChecker::shared(),
                        LanguageManager::shared(),
                        LaunchAtLoginManager::shared(),
                        mainRuntime(),
                        {},
                        QCoreApplication::applicationFilePath().toStdString()};
  TrayController::Desktop desktop;
  desktop.trayAvailable = trayAvailable;
  // Under XWayland the X server sees only clicks on X11 clients; on Wayland the panel closes when
  // it loses the focus instead.
  if (chosenKind == WindowSystemKind::x11) {
    desktop.registerMonitor = [](std::function<void()> onMouseDown) -> std::shared_ptr<void> {
      return X11PointerMonitor::create([onMouseDown](int) { onMouseDown(); });
    };
  }
  if (chosenKind != WindowSystemKind::gnome || trayAvailable) {
    return std::make_unique<TrayController>(std::move(services), systemClock(), std::move(desktop));
  }
  // Stock GNOME has no tray: the extension draws the icon in the top bar instead.
  auto controller = std::make_shared<QPointer<TrayController>>();
  auto* icon = new GnomeTopBarIcon(QDBusConnection::sessionBus(), [controller] {
    if (*controller)
      (*controller)->togglePopover();
  });
  desktop.shellShowsIcon = [icon] { return icon->published() && gnomeWindowSystem().trusted(); };
  desktop.showInShell = [icon](bool permitted, bool running) {
    icon->setState(!permitted ? GnomeTopBarIcon::State::needsPermission
                   : running  ? GnomeTopBarIcon::State::running
                              : GnomeTopBarIcon::State::ready);
  };
  auto tray =
      std::make_unique<TrayController>(std::move(services), systemClock(), std::move(desktop));
  *controller = tray.get();
  icon->setParent(tray.get());
  return tray;
}

}  // namespace dozewick
