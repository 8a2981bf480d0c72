// The program's one instance of each service, built on first use from the real pieces. They are
// deliberately never destroyed: they hold timers and tasks of the Qt event loop, which no longer
// exists when static objects are torn down, and the process ends right after the loop anyway.

#include <QCoreApplication>
#include <iostream>

#include "app/wiring.h"
#include "core/clock.h"
#include "core/window_manager.h"
#include "localization/language_manager.h"
#include "localization/preferences_file.h"
#include "localization/qt_translation_resources.h"
#include "localization/system_languages.h"
#include "platform/help_page.h"
#include "platform/launch_at_login.h"
#include "platform/permission_checker.h"
#include "platform/qt_runtime.h"
#include "platform/x11_pointer_monitor.h"
#include "platform/x11_trust.h"
#include "platform/x11_window_system.h"
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

}  // namespace

LanguageManager& LanguageManager::shared() {
  static auto* manager = [] {
    auto* preferences = new PreferencesFile(std::cerr);
    auto* resources = new QtTranslationResources();
    return new LanguageManager(*preferences, systemLanguages(), resources, &std::cout);
  }();
  return *manager;
}

PermissionChecker& PermissionChecker::shared() {
  static auto* checker = new std::shared_ptr<PermissionChecker>(PermissionChecker::create(
      mainRuntime(), LanguageManager::shared(), desktopPermissionPlatform(&queryX11Trust)));
  return **checker;
}

WindowManager& WindowManager::shared() {
  static auto* manager = [] {
    // The program's own panel and dialogs are never managed, nor the application in front.
    auto* windows =
        new X11WindowSystem({}, xcb::Connection::kDefaultReplyTimeout,
                            static_cast<std::int32_t>(QCoreApplication::applicationPid()));
    return new std::shared_ptr<WindowManager>(
        WindowManager::create(systemClock(), mainRuntime(), *windows, PermissionChecker::shared()));
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
  desktop.registerMonitor = [](std::function<void()> onMouseDown) -> std::shared_ptr<void> {
    return X11PointerMonitor::create([onMouseDown](int) { onMouseDown(); });
  };
  return std::make_unique<TrayController>(std::move(services), systemClock(), std::move(desktop));
}

}  // namespace dozewick
