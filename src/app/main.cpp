// The program's entry: the command line, the one instance, the tray, and the event loop.
#include <QApplication>
#include <QDBusConnection>
#include <QIcon>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/launch_request.h"
#include "app/launch_start.h"
#include "app/quit_signals.h"
#include "app/single_instance.h"
#include "app/test_probe.h"
#include "app/tray_controller.h"
#include "app/window_system_choice.h"
#include "app/wiring.h"
#include "platform/tray_host_watcher.h"

int main(int argc, char** argv) {
  using namespace dozewick;

  const StartOptions options = parseStartOptions(std::vector<std::string>(argv + 1, argv + argc),
                                                 std::getenv(kWindowSystemVariable));
  if (!options.error.empty()) {
    std::cerr << "dozewick: " << options.error << "\n\n" << startUsage("dozewick");
    return 2;
  }
  if (options.help) {
    std::cout << startUsage("dozewick");
    return 0;
  }
  if (options.version) {
    std::cout << startVersion("dozewick");
    return 0;
  }
  selectBackend(options.windowSystem.value_or(
      detectBackend([](const char* name) { return std::getenv(name); })));

  // Qt would abort with a core dump; say plainly what is missing instead.
  const auto isSet = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  };
  if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY") && !isSet("QT_QPA_PLATFORM")) {
    std::cerr << "Dozewick needs a graphical desktop session: DISPLAY is not set.\n";
    return 1;
  }

  // Qt takes DESKTOP_STARTUP_ID out of the environment as it starts.
  const LaunchRequest launch = LaunchRequest::fromEnvironment();
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Dozewick"));
  QCoreApplication::setApplicationName(QStringLiteral("Dozewick"));
  QCoreApplication::setApplicationVersion(QStringLiteral(DOZEWICK_VERSION));
  QGuiApplication::setApplicationDisplayName(QStringLiteral("Dozewick"));
  QGuiApplication::setDesktopFileName(QStringLiteral("dozewick"));
  // The program lives in the tray: closing the panel must not end it.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(
      QIcon::fromTheme(QStringLiteral("dozewick"), QIcon(QStringLiteral(":/app/dozewick.svg"))));

  // From here on a logout or Ctrl-C ends the program through its normal quit below.
  QuitSignals quitSignals;
  SingleInstance instance(SingleInstance::defaultDirectory());
  switch (instance.start(3000, launch)) {
    case SingleInstance::Role::primary:
      break;
    case SingleInstance::Role::secondary:
      return 0;
    case SingleInstance::Role::unanswered:
      std::cerr << "Dozewick is already running but does not answer; lock file: "
                << instance.lockPath().toStdString() << '\n';
      return 1;
    case SingleInstance::Role::blocked:
      std::cerr << "Dozewick cannot start: " << instance.lockPath().toStdString()
                << " is a folder where its lock file belongs; move it away and start again.\n";
      return 1;
  }

  // Asked to, the loop starts at once, tray or not.
  std::shared_ptr<LaunchStart> launchStart;
  if (UserSettings::shared().startAtLaunch()()) {
    launchStart = LaunchStart::begin(UserSettings::shared(), WindowManager::shared(),
                                     PermissionChecker::shared());
  }
  // No waiting for a tray: at login the tray host may come up after this program, which then
  // moves into it; until then the panel shows as a window (or the shell draws the icon).
  TrayHostWatcher trayHost(QDBusConnection::sessionBus());
  const std::unique_ptr<TrayController> controller = makeTrayController(trayHost.present());
  QObject::connect(&trayHost, &TrayHostWatcher::appeared, controller.get(),
                   &TrayController::moveIntoTray);
  QObject::connect(&instance, &SingleInstance::activationRequested, controller.get(),
                   &TrayController::showPopoverForLaunch);
  QObject::connect(&app, &QCoreApplication::aboutToQuit, controller.get(),
                   &TrayController::applicationWillTerminate);
  controller->applicationDidFinishLaunching();
  quitSignals.setQuit([&controller] { controller->terminate(); });
  TestProbe::fromEnvironment(*controller, controller.get());
  return app.exec();
}
