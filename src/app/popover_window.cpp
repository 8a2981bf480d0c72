// The window that hosts the panel, and where it goes on the screen.
#include "app/popover_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace dozewick {

namespace {

// Between the anchor and the panel, like the arrow gap of a popover.
constexpr int kGap = 4;

int clampInto(int value, int low, int high) {
  // A panel larger than the area sticks to its start rather than off the screen's top or left.
  return std::max(low, std::min(value, high));
}

}  // namespace

QPoint popoverPosition(const std::optional<QRect>& iconGeometry, QPoint pointer,
                       const QRect& availableArea, QSize popoverSize) {
  const QRect anchor = iconGeometry && iconGeometry->isValid() && !iconGeometry->isEmpty()
                           ? *iconGeometry
                           : QRect(pointer, QSize(1, 1));
  const int width = popoverSize.width();
  const int height = popoverSize.height();

  const int x = anchor.left() + (anchor.width() - width) / 2;
  const int below = anchor.bottom() + 1 + kGap;
  const int above = anchor.top() - kGap - height;
  const int areaBottom = availableArea.top() + availableArea.height();

  int y = below;
  if (below + height > areaBottom && above >= availableArea.top())
    y = above;

  return {clampInto(x, availableArea.left(), availableArea.left() + availableArea.width() - width),
          clampInto(y, availableArea.top(), areaBottom - height)};
}

PopoverWindow::PopoverWindow(QWidget* content, Mode mode, OwnWindows& ownWindows, QWidget* parent)
    : QWidget(parent), mode_(mode), content_(content), ownWindows_(ownWindows) {
  if (mode == Mode::popover) {
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  } else {
    setWindowFlags(Qt::Window);
  }
  setWindowTitle(QStringLiteral("Dozewick"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(content);
  fitContent();
}

void PopoverWindow::showAt(const std::optional<QRect>& iconGeometry, QPoint pointer) {
  iconGeometry_ = iconGeometry;
  pointer_ = pointer;
  place();
  show();
  raise();
  activateWindow();
}

void PopoverWindow::place() {
  const QPoint probe =
      iconGeometry_ && !iconGeometry_->isEmpty() ? iconGeometry_->center() : pointer_;
  QScreen* screen = QGuiApplication::screenAt(probe);
  if (!screen)
    screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), size());
  move(popoverPosition(iconGeometry_, pointer_, area, size()));
}

void PopoverWindow::fitContent() {
  const QSize wanted = content_->sizeHint();
  if (!wanted.isValid() || wanted == size())
    return;
  setFixedSize(wanted);
  if (mode_ == Mode::popover && isVisible())
    place();
}

bool PopoverWindow::event(QEvent* event) {
  // The content asks for another size (updateGeometry) when what it shows changes.
  if (event->type() == QEvent::LayoutRequest)
    fitContent();
  return QWidget::event(event);
}

void PopoverWindow::showEvent(QShowEvent* event) {
  // Part of the tray icon, not a window of its own for task bars and pagers.
  if (mode_ == Mode::popover && !event->spontaneous())
    ownWindows_.keepOutOfTaskbars(winId());
  fitContent();
  QWidget::showEvent(event);
}

void PopoverWindow::keyPressEvent(QKeyEvent* event) {
  if (mode_ == Mode::popover && event->key() == Qt::Key_Escape && event->modifiers() == 0) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void PopoverWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (mode_ != Mode::popover || event->type() != QEvent::ActivationChange || isActiveWindow() ||
      !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
    return;
  // Focus passing to one of this program's own dialogs arrives a moment later; only focus
  // gone to another application closes the panel.
  QTimer::singleShot(0, this, [this] {
    if (isVisible() && QGuiApplication::focusWindow() == nullptr)
      close();
  });
}

void PopoverWindow::closeEvent(QCloseEvent* event) {
  bool hadFocus = false;
  for (const QWidget* w = QApplication::activeWindow(); w && !hadFocus; w = w->parentWidget())
    hadFocus = w == this;
  QWidget::closeEvent(event);
  if (event->isAccepted())
    Q_EMIT closed(hadFocus);
}

}  // namespace dozewick
