// The small widgets and helpers the panel and its dialogs are drawn with.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFrame>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <utility>

#include "platform/backend.h"
#include "views/style.h"

class QKeyEvent;

namespace dozewick {

// A symbol drawn at a fixed logical size in one colour, rendered for the screen it is on.
class SymbolView : public QWidget {
  Q_OBJECT

 public:
  SymbolView(int size, QWidget* parent = nullptr);
  void setSymbol(const QString& name, const QColor& color);
  const QString& symbolName() const { return name_; }
  const QColor& color() const { return color_; }
  QSize sizeHint() const override { return {size_, size_}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int size_;
  QString name_;
  QColor color_;
};

// A filled circle.
class StatusDot : public QWidget {
  Q_OBJECT

 public:
  explicit StatusDot(int diameter, QWidget* parent = nullptr);
  void setColor(const QColor& color);
  const QColor& color() const { return color_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor color_;
};

// A thin horizontal separator, optionally inset from the leading edge.
class Divider : public QWidget {
  Q_OBJECT

 public:
  explicit Divider(int leadingInset = 0, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int inset_;
};

// Splits `text` into at most two lines of at most `width` each, breaking anywhere (a path has no
// spaces to break at). Text too long for two lines loses its middle: the first line keeps the
// start, the second an ellipsis and the end.
std::pair<QString, QString> elideMiddleTwoLines(const QString& text, int width,
                                                const std::function<int(const QString&)>& measure);

// Text on at most two lines, shortened in the middle when longer.
class MiddleElidedLabel : public QWidget {
  Q_OBJECT

 public:
  explicit MiddleElidedLabel(QWidget* parent = nullptr);
  void setText(const QString& text);
  const QString& text() const { return text_; }
  // What is drawn now, one string per line.
  std::pair<QString, QString> displayedLines() const;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::pair<QString, QString> linesFor(int width) const;
  QString text_;
};

// An on/off switch.
class SwitchToggle : public QAbstractButton {
  Q_OBJECT

 public:
  explicit SwitchToggle(QWidget* parent = nullptr);
  QSize sizeHint() const override { return {38, 22}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// Button looks. Each records the symbol and tint it was given in the properties "symbol" and
// "tint" so that what a button shows can be read back.
void makeProminent(QPushButton* button, const style::ButtonColors& colors, int padding);
void makePlain(QPushButton* button, const QColor& textColor);
// A plain text button read as a link, with a click target of 24 x 24 px at least however small
// its text.
void makeLink(QPushButton* button, const QColor& textColor);
void setButtonSymbol(QPushButton* button, const QString& symbol, const QColor& color,
                     int size = 16);
void setStyleSheetIfChanged(QWidget* widget, const QString& sheet);
// Enter and keypad Enter press the focused button inside `view`, as Space does; held down, they
// press it once. True when the key was such a press, which the caller then takes.
bool pressFocusedButton(QWidget* view, QKeyEvent* event);
// The colour a label's text is drawn in.
void setTextColor(QWidget* widget, const QColor& color);

}  // namespace dozewick
