// The window that hosts the panel, and where it goes on the screen.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <optional>

#include "platform/backend.h"

namespace dozewick {

// Where the panel goes: centred below the anchor (the tray icon, or the pointer when the tray
// gives no geometry), above it when there is no room below (a tray at the bottom), and always
// inside the screen's available area. Returns the panel's top-left corner.
QPoint popoverPosition(const std::optional<QRect>& iconGeometry, QPoint pointer,
                       const QRect& availableArea, QSize popoverSize);

// The window that hosts the panel. As a popover it is a frameless tool window that stays on top,
// out of task bars and pagers, and closes only when asked or on Escape (on Wayland, where a click
// elsewhere cannot be seen, also when another application takes the focus); as a standalone
// window (no tray on this desktop) it is an ordinary window whose closing ends the program. It
// takes its content's size hint whenever that changes (a sheet in the panel's place): a popover
// keeps its place beside the anchor, a window its top-left corner.
class PopoverWindow final : public QWidget {
  Q_OBJECT

 public:
  enum class Mode { popover, standalone };

  // `ownWindows` keeps a popover out of task bars and pagers.
  PopoverWindow(QWidget* content, Mode mode, OwnWindows& ownWindows, QWidget* parent = nullptr);

  Mode mode() const { return mode_; }
  QWidget* content() const { return content_; }
  // Shows the popover at its place for this anchor.
  void showAt(const std::optional<QRect>& iconGeometry, QPoint pointer);

 Q_SIGNALS:
  // `hadFocus`: the panel or one of its dialogs was the active window when it closed.
  void closed(bool hadFocus);

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void fitContent();
  void place();

  Mode mode_;
  QWidget* content_;
  OwnWindows& ownWindows_;
  std::optional<QRect> iconGeometry_;
  QPoint pointer_;
};

}  // namespace dozewick
