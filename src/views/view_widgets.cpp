// The small widgets and helpers the panel and its dialogs are drawn with.
#include "views/view_widgets.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>

#include "views/style.h"
#include "views/symbol_icons.h"

namespace dozewick {

SymbolView::SymbolView(int size, QWidget* parent) : QWidget(parent), size_(size) {
  setFixedSize(size, size);
  setAttribute(Qt::WA_TranslucentBackground);
}

void SymbolView::setSymbol(const QString& name, const QColor& color) {
  if (name == name_ && color == color_)
    return;
  name_ = name;
  color_ = color;
  update();
}

void SymbolView::paintEvent(QPaintEvent*) {
  if (name_.isEmpty())
    return;
  QPainter painter(this);
  painter.drawPixmap(0, 0, symbolPixmap(name_, size_, color_, devicePixelRatioF()));
}

StatusDot::StatusDot(int diameter, QWidget* parent) : QWidget(parent) {
  setFixedSize(diameter, diameter);
}

void StatusDot::setColor(const QColor& color) {
  if (color == color_)
    return;
  color_ = color;
  update();
}

void StatusDot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(color_);
  painter.drawEllipse(QRectF(rect()));
}

Divider::Divider(int leadingInset, QWidget* parent) : QWidget(parent), inset_(leadingInset) {
  setFixedHeight(1);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QRect line = rect();
  if (layoutDirection() == Qt::RightToLeft) {
    line.setRight(line.right() - inset_);
  } else {
    line.setLeft(line.left() + inset_);
  }
  painter.fillRect(line, style::separator(palette()));
}

std::pair<QString, QString> elideMiddleTwoLines(const QString& text, int width,
                                                const std::function<int(const QString&)>& measure) {
  if (text.isEmpty() || width <= 0)
    return {text, QString()};
  // The longest prefix of `from` that fits; at least one character so that progress is made.
  auto fittingPrefix = [&](const QString& from) {
    qsizetype low = 1, high = from.size();
    while (low < high) {
      const qsizetype mid = (low + high + 1) / 2;
      if (measure(from.left(mid)) <= width) {
        low = mid;
      } else {
        high = mid - 1;
      }
    }
    return from.left(low);
  };
  if (measure(text) <= width)
    return {text, QString()};
  const QString first = fittingPrefix(text);
  const QString rest = text.mid(first.size());
  if (measure(rest) <= width)
    return {first, rest};
  const QString ellipsis(QChar(0x2026));
  qsizetype keep = 0;
  qsizetype low = 0, high = rest.size();
  while (low < high) {
    const qsizetype mid = (low + high + 1) / 2;
    if (measure(ellipsis + rest.right(mid)) <= width) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  keep = low;
  return {first, ellipsis + rest.right(keep)};
}

MiddleElidedLabel::MiddleElidedLabel(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void MiddleElidedLabel::setText(const QString& text) {
  if (text == text_)
    return;
  text_ = text;
  setToolTip(text);
  setAccessibleName(text);
  updateGeometry();
  update();
}

std::pair<QString, QString> MiddleElidedLabel::linesFor(int width) const {
  const QFontMetrics metrics(font());
  return elideMiddleTwoLines(
      text_, width, [&metrics](const QString& part) { return metrics.horizontalAdvance(part); });
}

std::pair<QString, QString> MiddleElidedLabel::displayedLines() const {
  return linesFor(width());
}

QSize MiddleElidedLabel::sizeHint() const {
  const QFontMetrics metrics(font());
  return {std::min(metrics.horizontalAdvance(text_), 260), metrics.height()};
}

QSize MiddleElidedLabel::minimumSizeHint() const {
  return {0, QFontMetrics(font()).height()};
}

int MiddleElidedLabel::heightForWidth(int width) const {
  const int line = QFontMetrics(font()).height();
  if (text_.isEmpty())
    return line;
  return linesFor(width).second.isEmpty() ? line : 2 * line;
}

void MiddleElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(foregroundRole()));
  const QFontMetrics metrics(font());
  const auto [first, second] = linesFor(width());
  const int line = metrics.height();
  const int total = second.isEmpty() ? line : 2 * line;
  const int top = (height() - total) / 2;
  painter.drawText(QRect(0, top, width(), line), Qt::AlignHCenter | Qt::AlignVCenter, first);
  if (!second.isEmpty()) {
    painter.drawText(QRect(0, top + line, width(), line), Qt::AlignHCenter | Qt::AlignVCenter,
                     second);
  }
}

SwitchToggle::SwitchToggle(QWidget* parent) : QAbstractButton(parent) {
  setCheckable(true);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SwitchToggle::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
  const qreal radius = track.height() / 2;
  QColor fill = isChecked() ? style::color(ColorRole::green, palette())
                            : style::separator(palette()).darker(100);
  if (!isChecked())
    fill.setAlphaF(0.25f);
  if (!isEnabled())
    fill.setAlphaF(fill.alphaF() * 0.5f);
  painter.setPen(Qt::NoPen);
  painter.setBrush(fill);
  painter.drawRoundedRect(track, radius, radius);
  const qreal knob = track.height() - 4;
  const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
  painter.setBrush(QColor(0, 0, 0, 40));
  painter.drawEllipse(QRectF(x, track.top() + 2.5, knob, knob));
  painter.setBrush(Qt::white);
  painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
  if (hasFocus()) {
    QColor ring = style::color(ColorRole::accent, palette());
    ring.setAlphaF(0.6f);
    painter.setPen(QPen(ring, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(track.adjusted(-0.5, -0.5, 0.5, 0.5), radius, radius);
  }
}

void makeProminent(QPushButton* button, const style::ButtonColors& colors, int padding) {
  button->setProperty("tint", colors.fill);
  // The transparent border keeps the size when focus colours it.
  setStyleSheetIfChanged(button,
                         QStringLiteral("QPushButton { background-color: %1; color: %2;"
                                        " border: 1px solid transparent; border-radius: 6px;"
                                        " padding: %3px 8px; }"
                                        "QPushButton:hover { background-color: %4; }"
                                        "QPushButton:pressed { background-color: %5; }"
                                        "QPushButton:disabled { background-color: %6; color: %7; }"
                                        "QPushButton:focus { border: 1px solid %8; }")
                             .arg(style::css(colors.fill), style::css(colors.text))
                             .arg(padding)
                             .arg(style::css(colors.hoverFill), style::css(colors.pressedFill),
                                  style::css(colors.disabledFill), style::css(colors.disabledText),
                                  style::css(colors.fill.darker(140))));
}

void makePlain(QPushButton* button, const QColor& textColor) {
  button->setFlat(true);
  button->setCursor(Qt::PointingHandCursor);
  button->setProperty("tint", textColor);
  setStyleSheetIfChanged(button,
                         QStringLiteral("QPushButton { background: transparent; border: none;"
                                        " color: %1; padding: 0px; }"
                                        "QPushButton:pressed { color: %2; }")
                             .arg(style::css(textColor), style::css(textColor.darker(130))));
}

void makeLink(QPushButton* button, const QColor& textColor) {
  makePlain(button, textColor);
  button->setMinimumSize(24, 24);
}

void setButtonSymbol(QPushButton* button, const QString& symbol, const QColor& color, int size) {
  if (button->property("symbol").toString() == symbol &&
      button->property("symbolColor").value<QColor>() == color &&
      button->iconSize() == QSize(size, size)) {
    return;
  }
  button->setProperty("symbol", symbol);
  button->setProperty("symbolColor", color);
  button->setIcon(symbolIcon(symbol, color));
  button->setIconSize(QSize(size, size));
}

bool pressFocusedButton(QWidget* view, QKeyEvent* event) {
  if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
    return false;
  if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
    return false;
  auto* button = qobject_cast<QAbstractButton*>(view->window()->focusWidget());
  if (!button || !view->isAncestorOf(button) || !button->isEnabled() || !button->isVisible())
    return false;
  if (!event->isAutoRepeat())
    button->click();
  return true;
}

void setStyleSheetIfChanged(QWidget* widget, const QString& sheet) {
  // Applying a style sheet re-polishes the widget: worth avoiding on every redraw.
  if (widget->styleSheet() != sheet)
    widget->setStyleSheet(sheet);
}

void setTextColor(QWidget* widget, const QColor& color) {
  QPalette palette = widget->palette();
  if (palette.color(QPalette::WindowText) == color && palette.color(QPalette::Text) == color) {
    return;
  }
  palette.setColor(QPalette::WindowText, color);
  palette.setColor(QPalette::Text, color);
  palette.setColor(QPalette::ButtonText, color);
  widget->setPalette(palette);
}

}  // namespace dozewick
