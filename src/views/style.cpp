// The views' colours and fonts, for light and dark themes.
#include "views/style.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <algorithm>
#include <array>
#include <cmath>

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

QColor readable(const QColor& color, const QColor& background, double minimum) {
  const QColor behind = over(background, Qt::white);
  // In 8-bit channels, as it is drawn and as its luminance is reckoned.
  const QColor start(over(color, behind).rgb());
  if (contrastRatio(start, behind) >= minimum)
    return start;
  // Black is as far as a light background goes, white as far as a dark one. Luminance grows with
  // lightness at a fixed hue: the shade nearest the colour that reads lies between the colour's
  // lightness and that end, found by halving.
  const bool darken = contrastRatio(Qt::black, behind) >= contrastRatio(Qt::white, behind);
  float hue = 0, saturation = 0, lightness = 0;
  start.getHslF(&hue, &saturation, &lightness);
  hue = std::max(hue, 0.0f);  // grey has none
  float reads = darken ? 0.0f : 1.0f, fails = lightness;
  for (int step = 0; step < 16; ++step) {
    const float middle = (reads + fails) / 2;
    if (contrastRatio(QColor::fromHslF(hue, saturation, middle), behind) >= minimum) {
      reads = middle;
    } else {
      fails = middle;
    }
  }
  return QColor(QColor::fromHslF(hue, saturation, reads).rgb());
}

QColor textColor(ColorRole role, const QPalette& palette) {
  return readable(color(role, palette), windowBackground(palette));
}

ButtonColors filledButton(ColorRole role, const QPalette& palette) {
  const QColor window = windowBackground(palette);
  const QColor tint = over(color(role, palette), window);
  ButtonColors colors;
  if (role == ColorRole::accent) {
    colors.text = palette.color(QPalette::HighlightedText);
  } else {
    colors.text = role == ColorRole::orange ? QColor(Qt::black) : QColor(Qt::white);
  }
  colors.fill = readable(tint, colors.text);
  // Hovered and pressed, the fill moves further from the text, never closer.
  const bool lightText = luminance(colors.text) > luminance(colors.fill);
  colors.hoverFill = lightText ? colors.fill.darker(108) : colors.fill.lighter(108);
  colors.pressedFill = lightText ? colors.fill.darker(120) : colors.fill.lighter(120);
  QColor wash = tint;
  wash.setAlphaF(0.18f);
  colors.disabledFill = over(wash, window);
  colors.disabledText = readable(tint, colors.disabledFill);
  return colors;
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

QFont heading(int pixelSize) {
  return systemFont(pixelSize, QFont::Bold);
}

QFont headline() {
  return heading(14);
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

double luminance(const QColor& color) {
  // Per 8-bit channel value, as the colour is drawn; the views ask often enough to keep these.
  static const std::array<double, 256> linear = [] {
    std::array<double, 256> table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
      const double channel = static_cast<double>(i) / 255;
      table[i] = channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    }
    return table;
  }();
  const QRgb rgb = color.rgb();
  return 0.2126 * linear[qRed(rgb)] + 0.7152 * linear[qGreen(rgb)] + 0.0722 * linear[qBlue(rgb)];
}

double contrastRatio(const QColor& a, const QColor& b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor over(const QColor& color, const QColor& background) {
  const float alpha = color.alphaF();
  return QColor::fromRgbF(color.redF() * alpha + background.redF() * (1 - alpha),
                          color.greenF() * alpha + background.greenF() * (1 - alpha),
                          color.blueF() * alpha + background.blueF() * (1 - alpha));
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

QPalette darkPalette() {
  QPalette dark(QColor(45, 45, 45), QColor(30, 30, 30));
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    dark.setColor(role, QColor(235, 235, 235));
  dark.setColor(QPalette::Base, QColor(20, 20, 20));
  dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
  dark.setColor(QPalette::HighlightedText, Qt::white);
  return dark;
}

}  // namespace dozewick::style
