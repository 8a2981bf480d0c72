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
#include "localization/user_settings.h"
#include "platform/desktop_applications.h"
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

// One file for the language and the other settings: two readers would each save over the other.
PreferencesFile& preferencesFile() {
  static auto* preferences = new PreferencesFile(std::cerr);
  return *preferences;
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
  static auto* manager = new LanguageManager(preferencesFile(), systemLanguages(), &std::cerr);
  return *manager;
}

PermissionChecker& PermissionChecker::shared() {
  static auto* checker = new std::shared_ptr<PermissionChecker>(
      PermissionChecker::create(mainRuntime(), LanguageManager::shared(), desktopBackend()));
  return **checker;
}

UserSettings& UserSettings::shared() {
  static auto* settings = new UserSettings(preferencesFile(), &std::cerr);
  return *settings;
}

WindowManager& WindowManager::shared() {
  static auto* manager = [] {
    auto* made = new std::shared_ptr<WindowManager>(
        WindowManager::create(systemClock(), mainRuntime(), desktopBackend().windowSystem(),
                              PermissionChecker::shared()));
    // The loop follows the settings from the next check on.
    UserSettings& settings = UserSettings::shared();
    (*made)->setPolicy(settings.policy()());
    static auto* following = new Subscription(settings.policy().willSet().connect(
        [manager = made->get()](const Policy& policy) { manager->setPolicy(policy); }));
    (void)following;
    return made;
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
                        desktopBackend().ownWindows(),
                        {},
                        QCoreApplication::applicationFilePath().toStdString(),
                        desktopBackend().requirementKey()};
  services.settings = &UserSettings::shared();
  services.applicationsOnScreen = [] {
    return applicationsOnScreen(desktopBackend().windowSystem());
  };
  services.knownApplication = [](const std::string& appName, const std::string& language) {
    // Read when first needed: the sheet that shows them opens rarely, the program runs long.
    static const auto* entries = new DesktopApplications();
    return entries->lookUp(appName, language);
  };
  TrayController::Options options;
  options.trayAvailable = trayAvailable;
  return std::make_unique<TrayController>(std::move(services), systemClock(), desktopBackend(),
                                          std::move(options));
}

}  // namespace dozewick
