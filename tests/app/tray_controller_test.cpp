#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "app/tray_controller.h"
#include "core/window_manager.h"
#include "localization/language_manager.h"
#include "platform/launch_at_login.h"
#include "platform/permission_checker.h"
#include "support/fake_window_system.h"
#include "support/memory_preferences.h"
#include "support/qt_application.h"
#include "support/virtual_runtime.h"
#include "views/menu_bar_view.h"
#include "views/permission_request_view.h"  // the panel's header needs its dialogs complete
#include "views/settings_view.h"

namespace dozewick {
namespace {

using testing::FakeWindowSystem;
using testing::MemoryPreferences;
using testing::VirtualRuntime;

[[maybe_unused]] const auto* const kEnvironment = testing::addQtApplication<QApplication>();

class NoLoginItems final : public LoginItemService {
 public:
  LoginItemStatus status() const override { return LoginItemStatus::notRegistered; }
  std::optional<std::string> registerItem() override { return std::nullopt; }
  std::optional<std::string> unregisterItem() override { return std::nullopt; }
};

// The real services over fakes, on a main thread in virtual time, and a controller whose desktop
// the test plays: it holds the monitor's handler, places the pointer and counts quits.
class TrayControllerTest : public ::testing::Test {
 protected:
  TrayControllerTest() {
    PermissionChecker::Platform platform;
    platform.trustQuery = [this] { return trusted; };
    platform.prompt = [] {};
    platform.openSettings = [] {};
    checker = PermissionChecker::create(runtime, language, std::move(platform));
    manager = WindowManager::create(runtime.clock(), runtime, windows, *checker);
    launchAtLogin = std::make_unique<LaunchAtLoginManager>(runtime, loginItems, loginOut);
    settle();
  }

  ~TrayControllerTest() override {
    controller.reset();
    manager->stop();
    settle();
  }

  void launch(bool trayAvailable = true) {
    TrayController::Desktop desktop;
    desktop.trayAvailable = trayAvailable;
    desktop.registerMonitor = [this](std::function<void()> handler) -> std::shared_ptr<void> {
      if (!monitorAvailable)
        return nullptr;
      onMouseDown = std::move(handler);
      ++monitorsRegistered;
      return std::shared_ptr<void>(nullptr, [this](void*) { ++monitorsRemoved; });
    };
    desktop.pointerPosition = [this] { return pointer; };
    desktop.quitApplication = [this] { ++quits; };
    desktop.diagnostics = &diagnostics;
    desktop.activeWindow = [this] { return activeWindow; };
    desktop.activateWindow = [this](std::uint32_t window) { activated.push_back(window); };
    ViewServices services{*manager, *checker, language, *launchAtLogin, runtime, {}, "/bin/x"};
    controller = std::make_unique<TrayController>(services, runtime.clock(), std::move(desktop));
    controller->applicationDidFinishLaunching();
  }

  void settle() {
    for (int round = 0; round < 20; ++round) {
      runtime.runPending();
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      QCoreApplication::processEvents();
      if (runtime.pendingTaskCount() == 0)
        break;
    }
  }

  void advance(int ms) {
    runtime.advance(std::chrono::milliseconds(ms));
    settle();
  }

  // Grants or withdraws trust in the system; the checker learns of it at its next check.
  void setSystemTrust(bool value) { trusted = value; }

  void startLoop() {
    setSystemTrust(true);
    manager->start();
    settle();
    ASSERT_TRUE(manager->isRunning().get());
  }

  MenuBarView* panel() const {
    return controller->popover() ? qobject_cast<MenuBarView*>(controller->popover()->content())
                                 : nullptr;
  }

  VirtualRuntime runtime;
  MemoryPreferences preferences;
  LanguageManager language{preferences, {"en-US"}};
  bool trusted = false;
  std::shared_ptr<PermissionChecker> checker;
  FakeWindowSystem windows;
  std::shared_ptr<WindowManager> manager;
  NoLoginItems loginItems;
  std::ostringstream loginOut;
  std::unique_ptr<LaunchAtLoginManager> launchAtLogin;

  bool monitorAvailable = true;
  std::function<void()> onMouseDown;
  int monitorsRegistered = 0;
  int monitorsRemoved = 0;
  QPoint pointer{5, 5};
  int quits = 0;
  std::ostringstream diagnostics;
  std::optional<std::uint32_t> activeWindow = 0x1200007;  // the user's application
  std::vector<std::uint32_t> activated;
  std::unique_ptr<TrayController> controller;
};

// --- The tray icon and its three moments: launch, the 3-second check, each opening ---

TEST_F(TrayControllerTest, IconFollowsTrustAndTheLoopOnlyAtLaunchTicksAndOpenings) {
  launch();
  ASSERT_NE(controller->statusItem(), nullptr);
  EXPECT_EQ(controller->currentIcon().symbol, "macwindow.badge.exclamationmark");
  EXPECT_EQ(controller->currentIcon().tint, ColorRole::orange);
  EXPECT_EQ(controller->statusItem()->toolTip(), "Need Permission");
  EXPECT_FALSE(controller->statusItem()->icon().isNull());

  // Trust arrives: the icon waits for the next tick of the 3-second poll.
  setSystemTrust(true);
  advance(2900);
  EXPECT_EQ(controller->currentIcon().symbol, "macwindow.badge.exclamationmark");
  advance(200);
  EXPECT_EQ(controller->currentIcon().symbol, "macwindow");
  EXPECT_EQ(controller->currentIcon().tint, ColorRole::none);
  EXPECT_EQ(controller->statusItem()->toolTip(), "Dozewick");

  // A start from the panel shows at the next opening, before any tick.
  manager->start();
  settle();
  ASSERT_TRUE(manager->isRunning().get());
  EXPECT_EQ(controller->currentIcon().symbol, "macwindow");
  controller->togglePopover();
  settle();
  EXPECT_EQ(controller->currentIcon().symbol, "macwindow.on.rectangle");
  EXPECT_EQ(controller->currentIcon().tint, ColorRole::green);
  EXPECT_EQ(controller->statusItem()->toolTip(), "Running");

  // Ticks that change nothing leave the drawn icon alone.
  const qint64 drawn = controller->statusItem()->icon().cacheKey();
  advance(3000);
  EXPECT_EQ(controller->statusItem()->icon().cacheKey(), drawn);

  // A language switch shows at the next tick, in the new language.
  language.setCurrentLanguage("zh-Hans");
  advance(3000);
  EXPECT_EQ(controller->statusItem()->toolTip(), QString::fromUtf8("运行中"));
}

TEST_F(TrayControllerTest, AMissingPermissionOutranksTheRunningLoop) {
  launch();
  startLoop();
  advance(3000);
  ASSERT_EQ(controller->currentIcon().symbol, "macwindow.on.rectangle");

  setSystemTrust(false);
  advance(3000);
  EXPECT_TRUE(manager->isRunning().get()) << "the poll never stops the loop";
  EXPECT_EQ(controller->currentIcon().symbol, "macwindow.badge.exclamationmark");
  EXPECT_EQ(controller->currentIcon().tint, ColorRole::orange);
}

// --- Opening and closing the panel ---

TEST_F(TrayControllerTest, AnOpeningWaitsForTheTrustCheckAndBuildsAFreshPanel) {
  setSystemTrust(true);
  launch();
  runtime.holdBackground(true);
  controller->togglePopover();
  settle();
  EXPECT_TRUE(controller->isOpening());
  EXPECT_EQ(controller->popover(), nullptr) << "nothing shows before the check answers";
  EXPECT_EQ(controller->currentIcon().symbol, "macwindow.badge.exclamationmark");

  // A second click while the check runs is ignored: still one check, later one panel.
  const std::size_t held = runtime.heldBackgroundCount();
  controller->togglePopover();
  EXPECT_EQ(runtime.heldBackgroundCount(), held);

  runtime.releaseBackground();
  runtime.holdBackground(false);
  settle();
  ASSERT_TRUE(controller->isPopoverShown());
  EXPECT_FALSE(controller->isOpening());
  EXPECT_EQ(controller->currentIcon().symbol, "macwindow") << "brought up to date on opening";
  PopoverWindow* window = controller->popover();
  EXPECT_EQ(window->size(), QSize(260, 400));
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool) << "a popup would swallow the outside click";
  ASSERT_NE(panel(), nullptr);
  EXPECT_EQ(QApplication::topLevelWidgets().count(window), 1);

  // A click on the icon while open closes at once, without asking for trust again.
  runtime.holdBackground(true);
  const QPointer<MenuBarView> firstPanel = panel();
  controller->togglePopover();
  EXPECT_FALSE(controller->isPopoverShown());
  EXPECT_EQ(runtime.heldBackgroundCount(), 0u);
  runtime.holdBackground(false);
  settle();
  EXPECT_TRUE(firstPanel.isNull()) << "a closed panel is not kept";

  controller->togglePopover();
  settle();
  ASSERT_TRUE(controller->isPopoverShown());
  EXPECT_NE(panel(), nullptr);
  EXPECT_TRUE(panel()->model().iconName == "macwindow") << "the new panel starts from the values";
}

TEST_F(TrayControllerTest, ClicksElsewhereCloseThePanelButClicksOnItDoNot) {
  launch();
  ASSERT_EQ(monitorsRegistered, 1);
  ASSERT_TRUE(onMouseDown);
  onMouseDown();  // nothing open: nothing happens
  controller->togglePopover();
  settle();
  ASSERT_TRUE(controller->isPopoverShown());

  const QRect frame = controller->popover()->frameGeometry();
  pointer = frame.center();
  onMouseDown();
  settle();
  EXPECT_TRUE(controller->isPopoverShown()) << "a click inside the panel";

  pointer = frame.bottomRight() + QPoint(40, 40);
  onMouseDown();
  settle();
  EXPECT_FALSE(controller->isPopoverShown());
}

// The panel takes the focus when it opens; Escape closes it and hands the focus back. A click in
// another window gives the focus to that window instead.
TEST_F(TrayControllerTest, EscapeClosesThePanelAndHandsTheFocusBack) {
  launch();
  auto openFocused = [this] {
    controller->togglePopover();
    settle();
    EXPECT_TRUE(controller->isPopoverShown());
    EXPECT_EQ(QApplication::activeWindow(), controller->popover());
  };
  auto press = [](QWidget* target, Qt::Key key) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &down);
  };
  openFocused();
  press(controller->popover()->focusWidget() ? controller->popover()->focusWidget()
                                             : controller->popover(),
        Qt::Key_Escape);
  settle();
  EXPECT_FALSE(controller->isPopoverShown());
  EXPECT_EQ(activated, std::vector<std::uint32_t>{0x1200007});

  // Other keys do not close it; the icon's click hands the focus back too.
  activeWindow = 0x1400002;
  openFocused();
  press(controller->popover(), Qt::Key_A);
  EXPECT_TRUE(controller->isPopoverShown());
  controller->togglePopover();
  settle();
  EXPECT_EQ(activated, (std::vector<std::uint32_t>{0x1200007, 0x1400002}));

  openFocused();
  pointer = controller->popover()->frameGeometry().bottomRight() + QPoint(40, 40);
  onMouseDown();
  settle();
  EXPECT_FALSE(controller->isPopoverShown());
  EXPECT_EQ(activated.size(), 2u) << "the window clicked keeps the focus";

  // Without a window to go back to, nothing is asked.
  activeWindow.reset();
  runtime.clock().advance(TrayController::sameClickWindow + 0.1);
  openFocused();
  press(controller->popover(), Qt::Key_Escape);
  settle();
  EXPECT_FALSE(controller->isPopoverShown());
  EXPECT_EQ(activated.size(), 2u);
}

TEST_F(TrayControllerTest, TheClickThatClosedThePanelDoesNotReopenItThroughTheIcon) {
  // Offscreen the tray gives no icon geometry, as a StatusNotifierItem host does: the monitor
  // sees the click on the icon before the icon's own activation arrives.
  launch();
  controller->togglePopover();
  settle();
  ASSERT_TRUE(controller->isPopoverShown());
  pointer = controller->popover()->frameGeometry().topLeft() - QPoint(30, 30);
  onMouseDown();
  controller->togglePopover();
  settle();
  EXPECT_FALSE(controller->isPopoverShown());

  runtime.clock().advance(TrayController::sameClickWindow + 0.1);
  controller->togglePopover();
  settle();
  EXPECT_TRUE(controller->isPopoverShown()) << "a later click opens it as usual";
}

// --- The right-click menu ---

// A left click opens the panel; a right click shows the menu, in the current language, whose
// entries do what the panel's buttons do.
TEST_F(TrayControllerTest, TheMenuOpensStartsStopsShowsTheSettingsAndQuits) {
  launch();
  QMenu* menu = controller->contextMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(controller->statusItem()->contextMenu(), menu);
  auto entries = [menu] {
    QStringList texts;
    for (const QAction* action : menu->actions()) {
      if (!action->isSeparator())
        texts << action->text();
    }
    return texts;
  };
  auto choose = [&](int entry) {
    QList<QAction*> actions;
    for (QAction* action : menu->actions()) {
      if (!action->isSeparator())
        actions << action;
    }
    actions.at(entry)->trigger();
    settle();
  };
  EXPECT_EQ(entries(), (QStringList{"Open Dozewick", "Start", "Settings", "Quit"}));

  // Start without trust: the panel opens with the sheet that explains it; nothing starts.
  choose(1);
  EXPECT_FALSE(manager->isRunning().get());
  ASSERT_TRUE(controller->isPopoverShown());
  EXPECT_NE(panel()->permissionSheet(), nullptr);
  controller->togglePopover();
  settle();

  setSystemTrust(true);
  choose(1);
  EXPECT_TRUE(manager->isRunning().get());
  EXPECT_FALSE(controller->isPopoverShown());
  EXPECT_EQ(entries().at(1), "Stop");
  choose(1);
  EXPECT_FALSE(manager->isRunning().get());

  language.setCurrentLanguage("zh-Hans");
  settle();
  EXPECT_EQ(entries(), (QStringList{QString::fromUtf8("打开 Dozewick"), QString::fromUtf8("启动"),
                                    QString::fromUtf8("设置"), QString::fromUtf8("退出程序")}));

  choose(2);
  ASSERT_TRUE(controller->isPopoverShown());
  EXPECT_NE(panel()->settingsSheet(), nullptr);
  PopoverWindow* open = controller->popover();
  choose(0);
  EXPECT_EQ(controller->popover(), open) << "an open panel stays";
  EXPECT_TRUE(controller->isPopoverShown());
  choose(3);
  EXPECT_EQ(quits, 1);
}

// --- Termination ---

TEST_F(TrayControllerTest, QuitRemovesTheMonitorStopsThePollAndLeavesTheLoopAlone) {
  launch();
  startLoop();
  controller->togglePopover();
  settle();
  const std::size_t timersBefore = runtime.activeTimerCount();
  ASSERT_TRUE(controller->permissionCheckTimer()->isValid());

  controller->services().quit();  // what the panel's Quit button does
  EXPECT_EQ(monitorsRemoved, 1);
  EXPECT_FALSE(controller->hasEventMonitor());
  EXPECT_FALSE(controller->permissionCheckTimer()->isValid());
  EXPECT_EQ(runtime.activeTimerCount(), timersBefore - 1);
  EXPECT_EQ(quits, 1);
  EXPECT_TRUE(manager->isRunning().get());
  EXPECT_TRUE(manager->hasTimers());

  // The application's own about-to-quit notice runs the steps again: nothing more happens.
  controller->applicationWillTerminate();
  EXPECT_EQ(monitorsRemoved, 1);
  EXPECT_EQ(quits, 1);
}

TEST_F(TrayControllerTest, AnOpeningWhoseCheckEndsAfterQuitShowsNothing) {
  launch();
  runtime.holdBackground(true);
  controller->togglePopover();
  controller->terminate();
  runtime.releaseBackground();
  runtime.holdBackground(false);
  settle();
  EXPECT_FALSE(controller->isPopoverShown());
}

// --- No tray on this desktop ---

TEST_F(TrayControllerTest, WithoutATrayThePanelIsAnOrdinaryWindowWhoseClosingQuits) {
  launch(/*trayAvailable=*/false);
  EXPECT_EQ(controller->statusItem(), nullptr);
  const std::string said = diagnostics.str();
  EXPECT_NE(said.find("no system tray"), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << "said once";

  ASSERT_TRUE(controller->isPopoverShown());
  PopoverWindow* window = controller->popover();
  EXPECT_EQ(window->windowFlags() & Qt::WindowType_Mask, Qt::Window);
  EXPECT_FALSE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
  ASSERT_NE(panel(), nullptr);

  // Clicks elsewhere leave an ordinary window alone; a second launch brings it forward.
  pointer = window->frameGeometry().bottomRight() + QPoint(50, 50);
  onMouseDown();
  controller->togglePopover();
  controller->showPopover();
  settle();
  EXPECT_TRUE(controller->isPopoverShown());
  EXPECT_EQ(controller->popover(), window);
  EXPECT_EQ(quits, 0);

  window->close();
  settle();
  EXPECT_EQ(quits, 1);
  EXPECT_EQ(monitorsRemoved, 1);
}

}  // namespace
}  // namespace dozewick
