// The views' colours and fonts, for light and dark themes.
#include "views/style.h"

#include <QFontDatabase>
#include <QGuiApplication>

namespace dozewick::style {

namespace {

struct Pair {
  QRgb light;
  QRgb dark;
};

// The platform's system colours in their light and dark variants.
constexpr Pair kBlue{0x007AFF, 0x0A84FF};
constexpr Pair kGreen{0x28A745, 0x32D74B};
constexpr Pair kOrange{0xF08C00, 0xFF9F0A};
constexpr Pair kRed{0xFF3B30, 0xFF453A};
constexpr Pair kPurple{0xAF52DE, 0xBF5AF2};

QColor pick(const Pair& pair, const QPalette& palette) {
  return QColor::fromRgb(isDark(palette) ? pair.dark : pair.light);
}

}  // namespace

bool isDark(const QPalette& palette) {
  return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor color(ColorRole role, const QPalette& palette) {
  switch (role) {
    case ColorRole::none:
    case ColorRole::primary:
      return palette.color(QPalette::WindowText);
    case ColorRole::secondary: {
      QColor text = palette.color(QPalette::WindowText);
      text.setAlphaF(0.6f);
      return text;
    }
    case ColorRole::accent:
      return palette.color(QPalette::Highlight);
    case ColorRole::blue:
      return pick(kBlue, palette);
    case ColorRole::green:
      return pick(kGreen, palette);
    case ColorRole::orange:
      return pick(kOrange, palette);
    case ColorRole::red:
      return pick(kRed, palette);
    case ColorRole::purple:
      return pick(kPurple, palette);
    case ColorRole::white:
      return QColor(Qt::white);
  }
  return palette.color(QPalette::WindowText);
}

QColor color(ColorRole role) {
  return color(role, QGuiApplication::palette());
}

QColor windowBackground(const QPalette& palette) {
  return palette.color(QPalette::Window);
}

QColor separator(const QPalette& palette) {
  QColor line = palette.color(QPalette::WindowText);
  line.setAlphaF(0.15f);
  return line;
}

QFont systemFont(int pixelSize, QFont::Weight weight) {
  QFont font = QGuiApplication::font();
  font.setPixelSize(pixelSize);
  font.setWeight(weight);
  return font;
}

QFont headline() {
  return systemFont(14, QFont::DemiBold);
}

QFont caption() {
  return systemFont(11);
}

QFont caption2() {
  return systemFont(10);
}

QFont monospaced(int pixelSize) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(pixelSize);
  return font;
}

QString css(const QColor& color) {
  if (color.alpha() == 255)
    return color.name(QColor::HexRgb);
  return QStringLiteral("rgba(%1, %2, %3, %4)")
      .arg(color.red())
      .arg(color.green())
      .arg(color.blue())
      .arg(color.alphaF(), 0, 'f', 3);
}

}  // namespace dozewick::style
