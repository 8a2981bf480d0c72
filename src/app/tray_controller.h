// The tray item, its panel, the trust poll behind its icon, and the click monitor.
#pragma once

#include <QColor>
#include <QMenu>
#include <QMessageBox>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSystemTrayIcon>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>

#include "app/launch_request.h"
#include "app/popover_window.h"
#include "core/clock.h"
#include "core/runtime.h"
#include "platform/backend.h"
#include "views/queued_redraw.h"
#include "views/view_models.h"
#include "views/view_services.h"

namespace dozewick {

class MenuBarView;

// The tray item, its panel, the trust poll behind its icon, and the global click monitor that
// closes the panel when the user turns to another application.
class TrayController final : public QObject {
  Q_OBJECT

 public:
  // What the controller needs of the Qt application; the defaults are the real ones.
  struct Options {
    bool trayAvailable = true;
    std::function<QPoint()> pointerPosition;  // the pointer, in global coordinates
    std::function<void()> quitApplication;    // ends the event loop
    std::ostream* diagnostics = nullptr;      // where a missing tray is reported
  };

  static constexpr std::chrono::milliseconds permissionCheckInterval{3000};
  // A click on an icon whose place the tray does not tell first reaches the monitor (closing the
  // panel) and then the icon; an opening this soon after such a close is that same click.
  static constexpr double sameClickWindow = 0.5;

  // `services.quit` is replaced by this controller's termination path. The backend gives the
  // click monitor and, where there is no tray, the icon the desktop's shell draws.
  TrayController(ViewServices services, const Clock& clock, Backend& backend, Options options,
                 QObject* parent = nullptr);
  ~TrayController() override;

  // Start-up: the tray item with its first icon, the trust poll, the click monitor; without a
  // tray, the shell's icon, or where the shell draws none the panel as an ordinary window.
  void applicationDidFinishLaunching();
  // Shut-down: removes the monitor and stops the poll. Runs once, however often it is called.
  void applicationWillTerminate();
  // The panel's Quit: the shut-down steps, then the end of the event loop.
  void terminate();

  // The tray icon's action: closes an open panel, or opens a new one once trust is re-checked.
  void togglePopover();
  // A second launch asks for the panel: opens it unless it is open (then brings it to front).
  void showPopover();
  // The same, with the leave to come to the front that the launch's launcher gave it.
  void showPopoverForLaunch(const LaunchRequest& launch);
  // A tray came up after the launch: the icon moves there, the panel window (or the shell's icon)
  // goes; the loop, its counts and an open popover stay as they are.
  void moveIntoTray();

  void setupMenuBar();
  void setupEventMonitor();
  void updateMenuBarIcon();

  QSystemTrayIcon* statusItem() const { return statusItem_; }
  // The panel opens from the icon the desktop's shell draws (no tray here).
  bool usesShellIcon() const { return usesShellIcon_; }
  // The icon's right-click menu: open the panel, Start or Stop, Bring Back, Settings, About, Quit.
  QMenu* contextMenu() const { return contextMenu_.get(); }
  PopoverWindow* popover() const { return popover_; }
  bool isPopoverShown() const;
  // Waiting for the trust check of an opening.
  bool isOpening() const { return opening_; }
  const TrayIconModel& currentIcon() const { return currentIcon_; }
  bool hasEventMonitor() const { return eventMonitor_ != nullptr; }
  const std::shared_ptr<RepeatingTimer>& permissionCheckTimer() const {
    return permissionCheckTimer_;
  }
  ViewServices& services() { return services_; }

  // The monitor's handler: a press outside every Dozewick window and the tray icon closes the
  // panel.
  void handleGlobalMouseDown();

 Q_SIGNALS:
  // A panel was just shown (popover or window).
  void panelShown();
  // The icon is in the tray now, where at launch there was none.
  void movedIntoTray();

 private:
  void setupStatusItem();
  void finishOpening();
  void openPanel();
  void setupContextMenu();
  void updateContextMenu();
  void updateToolTip();
  void followCounts();
  // Runs `action` on the open panel, opening it first (after its trust check) when it is closed.
  void withOpenPanel(std::function<void(MenuBarView&)> action);
  void startOrStopFromMenu();
  void showStandaloneWindow();
  // Runs `activate` (which asks for `window` to be active) with the pending launch's leave.
  void withLaunchLeave(QWidget& window, const std::function<void()>& activate);
  // Takes the shell's icon as the way in once the shell draws it; false while it does not.
  bool adoptShellIcon();
  // The panel window that stood in for an icon goes, without quitting.
  void dropStandaloneWindow();
  void panelClosed(bool hadFocus);
  std::optional<QRect> trayIconGeometry() const;
  bool isInsideOwnWindows(QPoint point) const;

  ViewServices services_;
  const Clock& clock_;
  Backend& backend_;
  Options options_;

  QSystemTrayIcon* statusItem_ = nullptr;
  std::unique_ptr<QMenu> contextMenu_;
  QAction* openAction_ = nullptr;
  QAction* startStopAction_ = nullptr;
  QAction* bringBackAction_ = nullptr;
  QAction* settingsAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
  QAction* quitAction_ = nullptr;
  QueuedRedraw menuRedraw_{this, [this] { updateContextMenu(); }};
  // A first answer that came late (the desktop could not tell at launch) is drawn as it comes.
  QueuedRedraw iconRedraw_{this, [this] { updateMenuBarIcon(); }};
  QPointer<QMessageBox> aboutBox_;
  // The tooltip follows the state and the counts as they change, not at every check.
  QueuedRedraw toolTipRedraw_{this, [this] { updateToolTip(); }};
  Subscription activeCount_;
  Subscription minimizedCount_;
  std::function<void(MenuBarView&)> afterOpening_;
  QPointer<PopoverWindow> popover_;
  std::shared_ptr<void> eventMonitor_;
  std::shared_ptr<RepeatingTimer> permissionCheckTimer_;

  TrayIconModel currentIcon_;
  std::string drawnSymbol_;
  QColor drawnTint_;
  bool opening_ = false;
  bool terminated_ = false;
  std::unique_ptr<ShellIcon> shellIcon_;  // made where there is no tray
  bool usesShellIcon_ = false;            // the shell drew it at launch: the panel's way in
  std::optional<ShellIcon::State> shownInShell_;
  // When the panel last closed for a click elsewhere (or, under the shell's icon, for losing the
  // focus to that click).
  double lastCloseByMonitor_ = -1e300;
  double openedAt_ = -1e300;  // when the panel last opened
  // The application window that had the focus before the panel took it.
  std::optional<std::uint32_t> focusBeforePanel_;
  // A later launch's leave to come to the front, kept for the panel it asked for.
  LaunchRequest launch_;
  bool closingForClickElsewhere_ = false;
};

}  // namespace dozewick
