// The views' colours and fonts, for light and dark themes.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

#include "views/color_role.h"

namespace dozewick::style {

// True when the palette's window is dark: the system colours then take their brighter variants.
bool isDark(const QPalette& palette);

// The colour of a role under `palette`; the system colours take their dark-theme variants on a
// dark window. `none` is the window-text colour, which an untinted tray symbol is drawn in.
QColor color(ColorRole role, const QPalette& palette);
QColor color(ColorRole role);  // under the application's palette

// The least contrast of any text with what is behind it (WCAG AA for text of normal size), and
// what colours aim at: small antialiased glyphs rarely reach their full colour, so what is drawn
// reads at up to a tenth less than the colour itself.
inline constexpr double kTextContrast = 4.5;
inline constexpr double kAimedContrast = 5.2;

// `color` made to read on the opaque `background`: the same hue, darker on a light background or
// lighter on a dark one, only as much as `minimum` contrast needs. Translucency is flattened.
QColor readable(const QColor& color, const QColor& background, double minimum = kAimedContrast);

// The colour of text in a role on the window's background, readable there.
QColor textColor(ColorRole role, const QPalette& palette);

// A button filled with a role's colour. Its text is white, or black on orange, which white cannot
// read on without turning brown; the fill gives way until the text reads. Disabled, it is a pale
// wash of the colour with text of the colour, still readable, that no longer looks pressable.
struct ButtonColors {
  QColor fill;
  QColor text;
  QColor hoverFill;
  QColor pressedFill;
  QColor disabledFill;
  QColor disabledText;
};
ButtonColors filledButton(ColorRole role, const QPalette& palette);

QColor windowBackground(const QPalette& palette);
// A thin separator line.
QColor separator(const QPalette& palette);

// Sizes are logical pixels, the unit the layout uses everywhere.
QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal);
// Bold, not semibold: the font engine thickens the strokes of a font without a bold face (as the
// one Chinese font of a desktop often is) only for a weight of bold or more.
QFont heading(int pixelSize);
QFont headline();
QFont caption();
QFont caption2();
QFont monospaced(int pixelSize);

// WCAG 2 relative luminance of an opaque colour, 0 (black) to 1 (white).
double luminance(const QColor& color);
// WCAG 2 contrast ratio of two opaque colours, 1 to 21.
double contrastRatio(const QColor& a, const QColor& b);
// `color` as it shows over the opaque `background`, when it is translucent.
QColor over(const QColor& color, const QColor& background);

// A dark palette as dark desktop themes give it: what the pictures and checks of the dark theme
// are drawn in.
QPalette darkPalette();

// The "#rrggbb" or "rgba(...)" form for style sheets.
QString css(const QColor& color);

}  // namespace dozewick::style
