#include <QApplication>
#include <QIcon>
#include <QSystemTrayIcon>
#include <iostream>

#include "app/single_instance.h"
#include "app/test_probe.h"
#include "app/tray_controller.h"
#include "app/wiring.h"

int main(int argc, char** argv) {
  using namespace dozewick;

  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Dozewick"));
  QCoreApplication::setApplicationName(QStringLiteral("Dozewick"));
  QGuiApplication::setApplicationDisplayName(QStringLiteral("Dozewick"));
  QGuiApplication::setDesktopFileName(QStringLiteral("dozewick"));
  // The program lives in the tray: closing the panel must not end it.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(
      QIcon::fromTheme(QStringLiteral("dozewick"), QIcon(QStringLiteral(":/app/dozewick.svg"))));

  SingleInstance instance(SingleInstance::defaultDirectory());
  switch (instance.start()) {
    case SingleInstance::Role::primary:
      break;
    case SingleInstance::Role::secondary:
      return 0;
    case SingleInstance::Role::unanswered:
      std::cerr << "Dozewick is already running but does not answer; lock file: "
                << instance.lockPath().toStdString() << '\n';
      return 1;
  }

  const std::unique_ptr<TrayController> controller =
      makeTrayController(QSystemTrayIcon::isSystemTrayAvailable());
  QObject::connect(&instance, &SingleInstance::activationRequested, controller.get(),
                   &TrayController::showPopover);
  QObject::connect(&app, &QCoreApplication::aboutToQuit, controller.get(),
                   &TrayController::applicationWillTerminate);
  controller->applicationDidFinishLaunching();
  TestProbe::fromEnvironment(*controller, controller.get());
  return app.exec();
}
