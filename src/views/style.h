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

QColor windowBackground(const QPalette& palette);
// A thin separator line.
QColor separator(const QPalette& palette);

// Sizes are logical pixels, the unit the layout uses everywhere.
QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal);
QFont headline();
QFont caption();
QFont caption2();
QFont monospaced(int pixelSize);

// The "#rrggbb" or "rgba(...)" form for style sheets.
QString css(const QColor& color);

}  // namespace dozewick::style
