// The tray item, its panel, the trust poll behind its icon, and the click monitor.
#include "app/tray_controller.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QWidget>
#include <iostream>
#include <utility>

#include "app/about_box.h"
#include "views/menu_bar_view.h"
#include "views/permission_request_view.h"  // the panel's header needs its dialogs complete
#include "views/settings_view.h"
#include "views/style.h"
#include "views/symbol_icons.h"

namespace dozewick {

TrayController::TrayController(ViewServices services, const Clock& clock, Backend& backend,
                               Options options, QObject* parent)
    : QObject(parent),
      services_(std::move(services)),
      clock_(clock),
      backend_(backend),
      options_(std::move(options)) {
  if (!options_.pointerPosition)
    options_.pointerPosition = [] { return QCursor::pos(); };
  if (!options_.quitApplication)
    options_.quitApplication = [] { QCoreApplication::quit(); };
  if (!options_.diagnostics)
    options_.diagnostics = &std::cerr;
  services_.quit = [this] { terminate(); };
}

TrayController::~TrayController() {
  menuRedraw_.stop();
  iconRedraw_.stop();
  toolTipRedraw_.stop();
  delete aboutBox_.data();
  applicationWillTerminate();
  delete popover_.data();
}

void TrayController::applicationDidFinishLaunching() {
  setupMenuBar();
  setupEventMonitor();
  if (!options_.trayAvailable) {
    const QPointer<TrayController> self(this);
    shellIcon_ = backend_.shellIcon([self] {
      if (self)
        self->togglePopover();
    });
  }
  if (shellIcon_ && shellIcon_->shown()) {
    usesShellIcon_ = true;
    *options_.diagnostics << "Dozewick: this desktop has no system tray; the panel opens from "
                             "Dozewick's icon in the top bar.\n";
    updateMenuBarIcon();
  } else if (!options_.trayAvailable) {
    *options_.diagnostics << "Dozewick: this desktop has no system tray; the panel opens as a "
                             "window instead, and closing it quits, until a tray comes up.\n";
    if (ShellIconOffer* offer = backend_.shellIconOffer(); offer && shellIcon_)
      services_.installShellIcon = [offer] { return offer->install(); };
    showStandaloneWindow();
  }
}

bool TrayController::adoptShellIcon() {
  if (statusItem_ || usesShellIcon_ || !shellIcon_ || !shellIcon_->shown())
    return false;
  // The shell draws the icon now (its extension came after launch): it is the way in, and the
  // window that stood in for it goes.
  usesShellIcon_ = true;
  services_.installShellIcon = nullptr;
  *options_.diagnostics << "Dozewick: the panel opens from Dozewick's icon in the top bar now.\n";
  dropStandaloneWindow();
  return true;
}

void TrayController::dropStandaloneWindow() {
  if (!popover_ || popover_->mode() != PopoverWindow::Mode::standalone)
    return;
  // Nothing may follow its closing: not the quit it means while it is the one way in, nor a close
  // that would make the new way in ignore its next click.
  PopoverWindow* window = popover_;
  popover_ = nullptr;
  disconnect(window, nullptr, this, nullptr);
  window->close();
  window->deleteLater();
}

void TrayController::setupMenuBar() {
  if (options_.trayAvailable)
    setupStatusItem();
  iconRedraw_.observe(services_.checker.isAnswerPending().willSet());
  const QPointer<TrayController> self(this);
  permissionCheckTimer_ = services_.runtime.scheduleRepeating(permissionCheckInterval, [self] {
    if (!self)
      return;
    self->services_.checker.checkPermissionAsync([self](bool) {
      if (self)
        self->updateMenuBarIcon();
    });
  });
}

void TrayController::setupStatusItem() {
  statusItem_ = new QSystemTrayIcon(this);
  updateMenuBarIcon();
  connect(statusItem_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            // Two quick clicks are a double click to the tray, yet each is a click here: the
            // second one closes the panel, or is ignored while an opening is pending.
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
              togglePopover();
            // The middle button starts and stops, as in several tray utilities.
            if (reason == QSystemTrayIcon::MiddleClick)
              startOrStopFromMenu();
          });
  setupContextMenu();
  followCounts();
  statusItem_->show();
}

void TrayController::moveIntoTray() {
  if (statusItem_ || terminated_)
    return;
  options_.trayAvailable = true;
  dropStandaloneWindow();
  shellIcon_.reset();
  usesShellIcon_ = false;
  shownInShell_.reset();
  services_.installShellIcon = nullptr;  // the tray's panel offers no top-bar icon
  setupStatusItem();
  *options_.diagnostics
      << "Dozewick: a system tray came up; the panel opens from its icon there.\n";
  Q_EMIT movedIntoTray();
}

void TrayController::setupContextMenu() {
  contextMenu_ = std::make_unique<QMenu>();
  openAction_ = contextMenu_->addAction(QString(), this, &TrayController::showPopover);
  startStopAction_ = contextMenu_->addAction(QString(), this, &TrayController::startOrStopFromMenu);
  bringBackAction_ =
      contextMenu_->addAction(QString(), this, [this] { services_.manager.bringBack(); });
  settingsAction_ = contextMenu_->addAction(QString(), this, [this] {
    withOpenPanel([](MenuBarView& panel) { panel.presentSettings(); });
  });
  aboutAction_ = contextMenu_->addAction(QString(), this,
                                         [this] { showAboutBox(services_.language, aboutBox_); });
  contextMenu_->addSeparator();
  quitAction_ = contextMenu_->addAction(QString(), this, &TrayController::terminate);
  // Not the whole manager: its countdown would wake the program every second for nothing here.
  menuRedraw_.observe(services_.manager.isRunning().willSet());
  menuRedraw_.observe(services_.manager.putAwayCount().willSet());
  menuRedraw_.observe(services_.language);
  updateContextMenu();
  statusItem_->setContextMenu(contextMenu_.get());
}

void TrayController::updateContextMenu() {
  if (!contextMenu_)
    return;
  auto text = [this](const char* key) {
    return QString::fromStdString(services_.language.localizedString(key));
  };
  const auto set = [](QAction* action, const QString& value) {
    if (action->text() != value)
      action->setText(value);
  };
  set(openAction_, text("menu.open"));
  set(startStopAction_, text(services_.manager.isRunning().get() ? "button.stop" : "button.start"));
  set(bringBackAction_, text("button.bringBack"));
  bringBackAction_->setEnabled(services_.manager.putAwayCount().get() > 0);
  set(settingsAction_, text("settings.title"));
  set(aboutAction_, text("menu.about"));
  set(quitAction_, text("button.quit"));
}

void TrayController::startOrStopFromMenu() {
  // What the panel's control button does: a start only after the trust check, else the sheet
  // that explains what is missing.
  WindowManager& manager = services_.manager;
  if (manager.isRunning().get()) {
    manager.stop();
    return;
  }
  const QPointer<TrayController> self(this);
  services_.checker.checkPermissionOnceKnown([self, &manager](bool granted) {
    if (granted) {
      manager.start();
    } else if (self && !self->terminated_) {
      self->withOpenPanel([](MenuBarView& panel) { panel.presentPermissionSheet(); });
    }
  });
}

void TrayController::withOpenPanel(std::function<void(MenuBarView&)> action) {
  if (isPopoverShown()) {
    if (auto* panel = qobject_cast<MenuBarView*>(popover_->content()))
      action(*panel);
    return;
  }
  if (!statusItem_ && !usesShellIcon_) {
    showStandaloneWindow();
    if (auto* panel = qobject_cast<MenuBarView*>(popover_->content()))
      action(*panel);
    return;
  }
  afterOpening_ = std::move(action);
  if (opening_)
    return;  // the pending opening runs it
  opening_ = true;
  const QPointer<TrayController> self(this);
  services_.checker.checkPermissionAsync([self](bool) {
    if (self)
      self->finishOpening();
  });
}

void TrayController::setupEventMonitor() {
  const QPointer<TrayController> self(this);
  eventMonitor_ = backend_.watchClicks([self] {
    if (self)
      self->handleGlobalMouseDown();
  });
}

void TrayController::updateMenuBarIcon() {
  if (!statusItem_ && !usesShellIcon_ && !adoptShellIcon())
    return;
  const bool permitted = services_.checker.hasAccessibilityPermission().get();
  const bool pending = services_.checker.isAnswerPending().get();
  bool running = false;
  currentIcon_ = trayIconModel(
      permitted, pending,
      [this, &running] { return running = services_.manager.isRunning().get(); },
      services_.language);
  if (!permitted && services_.checker.keepsWindows())
    currentIcon_.description = services_.language.localizedString("status.noIconify");
  if (usesShellIcon_) {
    const auto state = !permitted && !pending ? ShellIcon::State::needsPermission
                       : !permitted           ? ShellIcon::State::ready
                       : running              ? ShellIcon::State::running
                                              : ShellIcon::State::ready;
    if (shownInShell_ != state)
      shellIcon_->show(state);
    shownInShell_ = state;
    return;
  }
  const QColor tint = style::color(currentIcon_.tint);
  // The tray redraws (or, over D-Bus, re-sends) the icon at every change: only real ones count.
  if (currentIcon_.symbol != drawnSymbol_ || tint != drawnTint_) {
    statusItem_->setIcon(trayIcon(currentIcon_));
    drawnSymbol_ = currentIcon_.symbol;
    drawnTint_ = tint;
  }
  updateToolTip();
}

void TrayController::followCounts() {
  toolTipRedraw_.observe(services_.manager.isRunning().willSet());
  toolTipRedraw_.observe(services_.checker.hasAccessibilityPermission().willSet());
  toolTipRedraw_.observe(services_.checker.isAnswerPending().willSet());
  toolTipRedraw_.observe(services_.language);
  // Published at every check: only a new value is worth a redraw.
  WindowManager& manager = services_.manager;
  activeCount_ = manager.activeWindowCount().willSet().connect([this, &manager](std::int64_t n) {
    if (n != manager.activeWindowCount().get())
      toolTipRedraw_.schedule();
  });
  minimizedCount_ = manager.minimizedCount().willSet().connect([this, &manager](std::int64_t n) {
    if (n != manager.minimizedCount().get())
      toolTipRedraw_.schedule();
  });
}

void TrayController::updateToolTip() {
  if (!statusItem_)
    return;
  const WindowManager& manager = services_.manager;
  const QString tooltip = QString::fromStdString(
      trayToolTip(services_.checker.hasAccessibilityPermission().get(),
                  services_.checker.isAnswerPending().get(), services_.checker.keepsWindows(),
                  manager.isRunning().get(), manager.activeWindowCount().get(),
                  manager.minimizedCount().get(), services_.language));
  if (statusItem_->toolTip() != tooltip)
    statusItem_->setToolTip(tooltip);
}

bool TrayController::isPopoverShown() const {
  return popover_ && popover_->isVisible();
}

void TrayController::togglePopover() {
  if (!statusItem_ && !usesShellIcon_)
    return;
  if (isPopoverShown()) {
    popover_->close();
    return;
  }
  // One opening at a time: a click while the check of an earlier one runs changes nothing.
  if (opening_)
    return;
  if (!trayIconGeometry() && clock_.now() - lastCloseByMonitor_ < sameClickWindow)
    return;
  opening_ = true;
  const QPointer<TrayController> self(this);
  services_.checker.checkPermissionAsync([self](bool) {
    if (self)
      self->finishOpening();
  });
}

void TrayController::showPopoverForLaunch(const LaunchRequest& launch) {
  launch_ = launch;
  showPopover();
}

void TrayController::showPopover() {
  if (isPopoverShown()) {
    withLaunchLeave(*popover_, [this] {
      popover_->raise();
      popover_->activateWindow();
    });
    return;
  }
  if (!statusItem_ && !usesShellIcon_) {
    showStandaloneWindow();
    return;
  }
  togglePopover();
}

void TrayController::finishOpening() {
  opening_ = false;
  if (terminated_)
    return;
  updateMenuBarIcon();
  openPanel();
  if (auto action = std::exchange(afterOpening_, nullptr)) {
    if (auto* panel = qobject_cast<MenuBarView*>(popover_->content()))
      action(*panel);
  }
}

void TrayController::openPanel() {
  openedAt_ = clock_.now();
  if (popover_)
    popover_->deleteLater();
  auto* view = new MenuBarView(services_);
  popover_ = new PopoverWindow(view, PopoverWindow::Mode::popover, services_.ownWindows);
  // A closed panel is never shown again (each opening builds a new one), so it goes at once
  // rather than redrawing unseen for as long as the program runs.
  PopoverWindow* window = popover_;
  connect(window, &PopoverWindow::closed, this, &TrayController::panelClosed);
  connect(window, &PopoverWindow::closed, window, &QObject::deleteLater);
  focusBeforePanel_ = services_.ownWindows.activeWindow();
  if (focusBeforePanel_ && QWidget::find(*focusBeforePanel_))
    focusBeforePanel_.reset();  // one of Dozewick's own
  withLaunchLeave(*window, [&] { window->showAt(trayIconGeometry(), options_.pointerPosition()); });
  Q_EMIT panelShown();
}

void TrayController::showStandaloneWindow() {
  if (popover_) {
    withLaunchLeave(*popover_, [this] {
      popover_->show();
      popover_->raise();
      popover_->activateWindow();
    });
    Q_EMIT panelShown();
    return;
  }
  auto* view = new MenuBarView(services_);
  popover_ = new PopoverWindow(view, PopoverWindow::Mode::standalone, services_.ownWindows);
  connect(popover_, &PopoverWindow::closed, this, [this] {
    if (!usesShellIcon_)
      terminate();
  });
  popover_->show();
  Q_EMIT panelShown();
}

void TrayController::withLaunchLeave(QWidget& window, const std::function<void()>& activate) {
  const LaunchRequest launch = std::exchange(launch_, {});
  // Qt on Wayland hands this variable to the compositor when a window asks to be active, and
  // then drops it; where it did not, it must not reach the programs started from here.
  const bool token = !launch.activationToken.isEmpty() &&
                     QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
  if (token)
    qputenv("XDG_ACTIVATION_TOKEN", launch.activationToken);
  activate();
  if (token)
    qunsetenv("XDG_ACTIVATION_TOKEN");
  if (!launch.startupId.isEmpty())
    services_.ownWindows.completeLaunch(window.winId(), launch.startupId.toStdString());
}

void TrayController::handleGlobalMouseDown() {
  if (!isPopoverShown() || popover_->mode() != PopoverWindow::Mode::popover)
    return;
  if (isInsideOwnWindows(options_.pointerPosition()))
    return;
  // The shell tells the click on its icon over the bus, maybe before this press arrives: that
  // press opened the panel and must not close it.
  if (usesShellIcon_ && clock_.now() - openedAt_ < sameClickWindow)
    return;
  lastCloseByMonitor_ = clock_.now();
  closingForClickElsewhere_ = true;
  popover_->close();
  closingForClickElsewhere_ = false;
}

void TrayController::panelClosed(bool hadFocus) {
  // The panel took the focus when it opened and gives it back, unless the user has since turned
  // to another window (then that one has it).
  // A click on the shell's icon takes the focus from the panel before it reaches this program:
  // it closes the panel, and must not open it again.
  if (usesShellIcon_ && !hadFocus)
    lastCloseByMonitor_ = clock_.now();
  const auto window = std::exchange(focusBeforePanel_, std::nullopt);
  if (window && hadFocus && !closingForClickElsewhere_)
    services_.ownWindows.requestActivation(*window);
}

std::optional<QRect> TrayController::trayIconGeometry() const {
  if (!statusItem_)
    return std::nullopt;
  const QRect geometry = statusItem_->geometry();
  if (!geometry.isValid() || geometry.isEmpty())
    return std::nullopt;
  return geometry;
}

bool TrayController::isInsideOwnWindows(QPoint point) const {
  if (const auto icon = trayIconGeometry(); icon && icon->contains(point))
    return true;
  for (const QWidget* window : QApplication::topLevelWidgets()) {
    if (window->isVisible() && window->frameGeometry().contains(point))
      return true;
  }
  return false;
}

void TrayController::applicationWillTerminate() {
  if (terminated_)
    return;
  terminated_ = true;
  eventMonitor_.reset();
  if (permissionCheckTimer_)
    permissionCheckTimer_->invalidate();
}

void TrayController::terminate() {
  applicationWillTerminate();
  options_.quitApplication();
}

}  // namespace dozewick
