// The program's own symbol artwork, drawn crisp at every size, and the tray icon.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

#include "views/view_models.h"

namespace dozewick {

// The program's own symbol artwork, by name ("macwindow", "gearshape.fill", ...). Each symbol is
// drawn in one colour; it is rendered from its vector form at the size asked for, so it stays
// crisp at every size and device pixel ratio.

// Every symbol name that has artwork.
QStringList symbolNames();
bool hasSymbol(const QString& name);

// The symbol at `logicalSize` logical pixels in `tint`, rendered for `devicePixelRatio`. An
// unknown name gives a null pixmap.
QPixmap symbolPixmap(const QString& name, int logicalSize, const QColor& tint,
                     qreal devicePixelRatio = 1.0, const QColor& halo = Qt::transparent);

// An icon that renders the symbol in `tint` at whatever size and ratio it is drawn; its disabled
// form is faded. An unknown name gives a null icon. A visible `halo` outlines the symbol, so that
// it stands out on light and dark backgrounds alike.
QIcon symbolIcon(const QString& name, const QColor& tint, const QColor& halo = Qt::transparent);

// The tray icon of this model. The tray's background is the desktop's, not the application's:
// the untinted symbol is light with a dark outline, readable on light and dark trays whatever
// the application's theme; the orange and green ones are drawn in their deeper colours.
QIcon trayIcon(const TrayIconModel& model);

}  // namespace dozewick
