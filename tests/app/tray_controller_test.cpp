// The tray controller: icon, panel, menu, quitting, and the desktops without a tray.
#include "app/tray_controller.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <vector>

#include "support/desktop_services.h"
#include "support/qt_application.h"
#include "views/menu_bar_view.h"
#include "views/permission_request_view.h"  // the panel's header needs its dialogs complete
#include "views/settings_view.h"

namespace dozewick {
namespace {

[[maybe_unused]] const auto* const kEnvironment = testing::addQtApplication<QApplication>();

// A controller whose desktop the test plays: the backend holds the monitor's handler and the
// focus, the test places the pointer and counts quits.
class TrayControllerTest : public testing::DesktopServicesTest {
 protected:
  ~TrayControllerTest() override { controller.reset(); }

  void launch(bool trayAvailable = true) {
    backend.own.active = 0x1200007;  // the user's application
    TrayController::Options options;
    options.trayAvailable = trayAvailable;
    options.pointerPosition = [this] { return pointer; };
    options.quitApplication = [this] { ++quits; };
    options.diagnostics = &diagnostics;
    controller =
        std::make_unique<TrayController>(*services, runtime.clock(), backend, std::move(options));
    controller->applicationDidFinishLaunching();
  }
  std::string icon() const { return controller->currentIcon().symbol; }
  MenuBarView* panel() const {
    return controller->popover() ? qobject_cast<MenuBarView*>(controller->popover()->content())
                                 : nullptr;
  }
  void toggle() {
    controller->togglePopover();
    settle();
  }

  QPoint pointer{5, 5};
  int quits = 0;
  std::ostringstream diagnostics;
  std::unique_ptr<TrayController> controller;
};

// The icon is recomputed at launch, at each 3-second trust check and at each opening only.
TEST_F(TrayControllerTest, TheIconFollowsTrustAndTheLoopAtLaunchTicksAndOpenings) {
  // A desktop that cannot tell yet gets no warning, and its answer shows as soon as it comes.
  backend.pending = true;
  checker->checkPermissionAsync(nullptr);
  settle();
  launch();
  EXPECT_EQ(icon(), "macwindow");
  EXPECT_EQ(controller->statusItem()->toolTip(), "Dozewick: checking");
  backend.pending = false;
  advance(200);
  EXPECT_EQ(icon(), "macwindow.badge.exclamationmark");
  EXPECT_EQ(controller->statusItem()->toolTip(), "Dozewick: needs permission");
  backend.trusted = true;
  advance(2700);
  EXPECT_EQ(icon(), "macwindow.badge.exclamationmark");
  advance(200);
  EXPECT_EQ(icon(), "macwindow");
  EXPECT_EQ(controller->statusItem()->toolTip(), "Dozewick: stopped");

  manager->start();
  settle();
  EXPECT_EQ(icon(), "macwindow");
  toggle();
  EXPECT_EQ(icon(), "macwindow.on.rectangle");
  toggle();
  language.setCurrentLanguage("zh-Hans");
  advance(3000);
  EXPECT_EQ(controller->statusItem()->toolTip(),
            QString::fromUtf8("Dozewick：运行中，%1 个活跃，0 个已最小化")
                .arg(manager->activeWindowCount().get()));

  backend.trusted = false;
  advance(3000);
  EXPECT_TRUE(manager->isRunning().get()) << "the poll never stops the loop";
  EXPECT_EQ(icon(), "macwindow.badge.exclamationmark");
}

// Escape handing the focus back is the whole program's run; here a click elsewhere leaves the
// focus where it went, and the icon's click hands it back.
TEST_F(TrayControllerTest, AnOpeningWaitsForItsCheckAndAClickElsewhereClosesThePanel) {
  backend.trusted = true;
  launch();
  controller->togglePopover();
  EXPECT_EQ(controller->popover(), nullptr) << "nothing shows before the check answers";
  const std::size_t checks = runtime.pendingTaskCount();
  controller->togglePopover();
  EXPECT_EQ(runtime.pendingTaskCount(), checks) << "a second click while it runs is ignored";
  settle();
  ASSERT_TRUE(controller->isPopoverShown());
  EXPECT_EQ(icon(), "macwindow") << "brought up to date on opening";
  PopoverWindow* window = controller->popover();
  EXPECT_EQ(window->size(), QSize(260, 400));
  EXPECT_EQ(window->windowFlags() & Qt::WindowType_Mask, Qt::Tool)
      << "a popup would swallow the outside click";
  EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

  pointer = window->frameGeometry().center();
  backend.onMouseDown();
  settle();
  EXPECT_TRUE(controller->isPopoverShown()) << "a click inside the panel";
  pointer = window->frameGeometry().bottomRight() + QPoint(40, 40);
  backend.onMouseDown();
  // The same click reaching the icon right after must not open it again.
  toggle();
  EXPECT_FALSE(controller->isPopoverShown());
  EXPECT_TRUE(backend.own.activated.empty()) << "the window clicked keeps the focus";
  runtime.clock().advance(TrayController::sameClickWindow + 0.1);
  toggle();
  EXPECT_TRUE(controller->isPopoverShown()) << "a later click opens it as usual";
  const QPointer<MenuBarView> first = qobject_cast<MenuBarView*>(controller->popover()->content());
  toggle();
  EXPECT_FALSE(controller->isPopoverShown()) << "a click on the icon closes it at once";
  EXPECT_EQ(backend.own.activated, std::vector<std::uint32_t>{0x1200007})
      << "and hands the focus back";
  EXPECT_TRUE(first.isNull()) << "a closed panel is not kept";
}

// A left click opens the panel; a right click shows the menu, in the current language, whose
// entries do what the panel's buttons do.
TEST_F(TrayControllerTest, TheMenuOpensStartsStopsShowsTheSettingsAndQuits) {
  launch();
  QMenu* menu = controller->contextMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(controller->statusItem()->contextMenu(), menu);
  auto entries = [menu] {
    QList<QAction*> actions = menu->actions();
    actions.removeIf([](const QAction* action) { return action->isSeparator(); });
    return actions;
  };
  auto texts = [&] {
    QStringList shown;
    for (const QAction* action : entries())
      shown << action->text();
    return shown;
  };
  auto choose = [&](int entry) {
    entries().at(entry)->trigger();
    settle();
  };
  EXPECT_EQ(texts(), (QStringList{"Open Dozewick", "Start", "Bring Back Windows", "Settings",
                                  "About Dozewick", "Quit"}));
  EXPECT_FALSE(entries().at(2)->isEnabled()) << "nothing put away yet";

  // Start without trust: the panel opens with the sheet that explains it; nothing starts.
  choose(1);
  EXPECT_FALSE(manager->isRunning().get());
  ASSERT_TRUE(controller->isPopoverShown());
  EXPECT_NE(panel()->permissionSheet(), nullptr);
  controller->togglePopover();
  settle();

  backend.trusted = true;
  choose(1);
  EXPECT_TRUE(manager->isRunning().get());
  EXPECT_FALSE(controller->isPopoverShown());
  EXPECT_EQ(texts().at(1), "Stop");
  choose(1);
  EXPECT_FALSE(manager->isRunning().get());
  language.setCurrentLanguage("zh-Hans");
  settle();
  EXPECT_EQ(texts().at(5), QString::fromUtf8("退出程序"));
  // The middle button starts and stops as the menu's entry does.
  Q_EMIT controller->statusItem()->activated(QSystemTrayIcon::MiddleClick);
  settle();
  EXPECT_TRUE(manager->isRunning().get());
  EXPECT_FALSE(controller->isPopoverShown());
  Q_EMIT controller->statusItem()->activated(QSystemTrayIcon::MiddleClick);
  EXPECT_FALSE(manager->isRunning().get());

  choose(3);
  ASSERT_TRUE(controller->isPopoverShown());
  EXPECT_NE(panel()->settingsSheet(), nullptr);
  choose(4);
  QMessageBox* about = nullptr;
  for (QWidget* window : QApplication::topLevelWidgets())
    about = about ? about : qobject_cast<QMessageBox*>(window);
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(about->text().contains(DOZEWICK_VERSION) &&
              about->text().contains(DOZEWICK_LICENSE) &&
              about->text().contains(QString::fromUtf8("主页")))
      << about->text().toStdString();
  choose(5);
  EXPECT_EQ(quits, 1);
}

TEST_F(TrayControllerTest, QuitEndsTheMonitorAndThePollButLeavesTheLoop) {
  launch();
  backend.trusted = true;
  manager->start();
  settle();
  controller->togglePopover();
  controller->services().quit();  // what the panel's Quit button does
  EXPECT_EQ(backend.monitorsRemoved, 1);
  EXPECT_FALSE(controller->permissionCheckTimer()->isValid());
  EXPECT_EQ(quits, 1);
  EXPECT_TRUE(manager->hasTimers());
  controller->applicationWillTerminate();
  EXPECT_EQ(quits, 1) << "the application's own notice changes nothing more";
  settle();
  EXPECT_FALSE(controller->isPopoverShown()) << "an opening answered after quit shows nothing";
}

// GNOME before Authorize: a shell whose extension does not draw the icon yet.
TEST_F(TrayControllerTest, WithoutATrayThePanelIsAnOrdinaryWindowWhoseClosingQuits) {
  backend.hasShell = true;
  launch(/*trayAvailable=*/false);
  EXPECT_EQ(controller->statusItem(), nullptr);
  EXPECT_NE(diagnostics.str().find("no system tray"), std::string::npos) << diagnostics.str();
  ASSERT_TRUE(controller->isPopoverShown());
  PopoverWindow* window = controller->popover();
  EXPECT_EQ(window->windowFlags() & Qt::WindowType_Mask, Qt::Window);
  EXPECT_FALSE(panel()->findChild<QPushButton*>("topBarIconButton")) << "nothing to install";
  pointer = window->frameGeometry().bottomRight() + QPoint(50, 50);
  backend.onMouseDown();
  controller->showPopover();  // as a second launch does
  settle();
  EXPECT_EQ(controller->popover(), window) << "clicks elsewhere leave an ordinary window alone";
  window->close();
  settle();
  EXPECT_EQ(quits, 1);
  EXPECT_TRUE(backend.shellIconStates.empty()) << "the shell draws no icon here";
}

// A tray coming up after the launch takes over from the panel window: the window goes without
// quitting, the loop runs on, and the panel opens from the icon from then on.
TEST_F(TrayControllerTest, ATrayComingUpLaterTakesThePanelWindowsPlaceWithoutQuitting) {
  launch(/*trayAvailable=*/false);
  backend.trusted = true;
  manager->start();
  settle();
  QPointer<PopoverWindow> window = controller->popover();
  ASSERT_TRUE(window && window->isVisible());
  controller->moveIntoTray();
  settle();
  ASSERT_NE(controller->statusItem(), nullptr);
  EXPECT_TRUE(controller->statusItem()->isVisible());
  EXPECT_TRUE(!window || !window->isVisible());
  EXPECT_EQ(quits, 0) << "the panel window's going is no quit";
  EXPECT_TRUE(manager->isRunning().get());
  controller->moveIntoTray();  // a second notice changes nothing
  toggle();
  ASSERT_TRUE(controller->isPopoverShown());
  EXPECT_EQ(controller->popover()->mode(), PopoverWindow::Mode::popover);
  controller->popover()->close();
  settle();
  EXPECT_EQ(quits, 0);
}

// GNOME Shell with Dozewick's extension draws the icon where there is no tray; the shell hears
// of each change of the icon's state once. Its clicks opening the panel are the GNOME run's.
TEST_F(TrayControllerTest, WithoutATrayTheShellsIconShowsEachStateOnce) {
  backend.hasShell = backend.shellDrawsIcon = true;
  launch(/*trayAvailable=*/false);
  EXPECT_TRUE(controller->usesShellIcon());
  EXPECT_FALSE(controller->isPopoverShown()) << "no ordinary window at launch";
  backend.trusted = true;
  advance(3000);
  manager->start();
  settle();
  advance(6000);
  using State = ShellIcon::State;
  EXPECT_EQ(backend.shellIconStates,
            (std::vector<State>{State::needsPermission, State::ready, State::running}));
  toggle();
  EXPECT_EQ(controller->popover()->mode(), PopoverWindow::Mode::popover);
  // A tray that comes up later takes the icon from the shell; the open panel stays.
  controller->moveIntoTray();
  EXPECT_FALSE(controller->usesShellIcon());
  ASSERT_NE(controller->statusItem(), nullptr);
  EXPECT_TRUE(controller->isPopoverShown());
  EXPECT_TRUE(controller->statusItem()->toolTip().startsWith("Dozewick: running"))
      << controller->statusItem()->toolTip().toStdString();
}

// GNOME Shell on X11: the window offers the shell's icon; once the shell draws it, the icon is the
// way in and the window goes without quitting.
TEST_F(TrayControllerTest, WithoutATrayTheOfferedShellIconTakesOverFromTheWindowOnceDrawn) {
  struct Offer final : ShellIconOffer {
    std::unique_ptr<ShellIcon> shellIcon(std::function<void()>) override { return nullptr; }
    AuthorizeOutcome install() override {
      ++installs;
      return {true, "restart the shell"};
    }
    int installs = 0;
  };
  auto offer = std::make_unique<Offer>();
  const Offer& offered = *offer;
  backend.setShellIconOffer(std::move(offer));
  backend.hasShell = true;
  launch(/*trayAvailable=*/false);
  ASSERT_TRUE(controller->isPopoverShown());
  auto* install = panel()->findChild<QPushButton*>("topBarIconButton");
  ASSERT_TRUE(install);
  install->click();
  EXPECT_EQ(offered.installs, 1);
  EXPECT_EQ(panel()->findChild<QLabel*>("topBarIconOutcome")->text(), "restart the shell");
  backend.shellDrawsIcon = true;  // the shell restarted with the extension
  advance(3000);
  EXPECT_TRUE(controller->usesShellIcon());
  EXPECT_FALSE(controller->isPopoverShown());
  EXPECT_EQ(quits, 0) << "the window went, the program stays";
  EXPECT_FALSE(backend.shellIconStates.empty()) << "the shell hears the state";
  toggle();
  EXPECT_EQ(controller->popover()->mode(), PopoverWindow::Mode::popover);
}

}  // namespace
}  // namespace dozewick
