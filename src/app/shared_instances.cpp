// The program's one instance of each service, built on first use from the real pieces.
//
// They are deliberately never destroyed: they hold timers and tasks of the Qt event loop, which
// no longer exists when static objects are torn down, and the process ends right after the loop
// anyway.

#include <QCoreApplication>
#include <QPointer>
#include <iostream>

#include "app/wiring.h"
#include "core/clock.h"
#include "core/window_manager.h"
#include "localization/language_manager.h"
#include "localization/preferences_file.h"
#include "localization/system_languages.h"
#include "platform/help_page.h"
#include "platform/launch_at_login.h"
#include "platform/permission_checker.h"
#include "platform/qt_runtime.h"
#include "platform/xdg_autostart.h"
#include "views/help_view.h"

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

BackendKind chosenKind = BackendKind::x11;

// One help window at a time, brought to the front when asked for again.
void showHelpWindow() {
  static QPointer<HelpView> window;
  if (!window) {
    window =
        new HelpView(LanguageManager::shared(), findHelpPage(), [] { return hasWebBrowser(); });
    window->setAttribute(Qt::WA_DeleteOnClose);
  }
  window->show();
  window->raise();
  window->activateWindow();
}

// The desktop, followed from the first use to the quit. The program's own panel and dialogs are
// never managed, nor the application in front.
Backend& desktopBackend() {
  static Backend* backend = [] {
    BackendContext context;
    context.ownPid = static_cast<std::int32_t>(QCoreApplication::applicationPid());
    context.texts = &LanguageManager::shared();
    context.diagnostics = &std::cerr;
    context.showHelp = showHelpWindow;
    Backend* made = makeBackend(chosenKind, context).release();
    made->start();
    // KWin would keep running the script, reporting to a bus name nobody holds any more.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                     [made] { made->stop(); });
    return made;
  }();
  return *backend;
}

}  // namespace

void selectBackend(BackendKind kind) {
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
  static auto* checker = new std::shared_ptr<PermissionChecker>(
      PermissionChecker::create(mainRuntime(), LanguageManager::shared(), desktopBackend()));
  return **checker;
}

WindowManager& WindowManager::shared() {
  static auto* manager = new std::shared_ptr<WindowManager>(WindowManager::create(
      systemClock(), mainRuntime(), desktopBackend().windowSystem(), PermissionChecker::shared()));
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
                        desktopBackend().ownWindows(),
                        {},
                        QCoreApplication::applicationFilePath().toStdString(),
                        desktopBackend().requirementKey()};
  TrayController::Options options;
  options.trayAvailable = trayAvailable;
  return std::make_unique<TrayController>(std::move(services), systemClock(), desktopBackend(),
                                          std::move(options));
}

}  // namespace dozewick
