// Draws the tray icon's three states on light and dark trays, into one picture.
// As a tray shows them, with the application in a light and in a dark theme:
//
//   cmake --build --preset debug --target dozewick_tray_icon_sheet
//   QT_QPA_PLATFORM=offscreen build/debug/tools/dozewick_tray_icon_sheet docs/tray-icons.png
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <iostream>

#include "views/symbol_icons.h"
#include "views/view_models.h"

using namespace dozewick;

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::cerr << "usage: dozewick_tray_icon_sheet OUTPUT.png\n";
    return 2;
  }
  QPalette light;
  light.setColor(QPalette::Window, QColor(240, 240, 240));
  light.setColor(QPalette::WindowText, QColor(20, 20, 20));
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(30, 30, 30));
  dark.setColor(QPalette::WindowText, QColor(235, 235, 235));
  const std::pair<const char*, QPalette> themes[] = {{"light application theme", light},
                                                     {"dark application theme", dark}};
  const std::pair<const char*, QColor> trays[] = {{"light tray", QColor(236, 236, 236)},
                                                  {"dark tray", QColor(38, 38, 38)}};
  const TrayIconModel states[] = {{"macwindow.badge.exclamationmark", ColorRole::orange, ""},
                                  {"macwindow.on.rectangle", ColorRole::green, ""},
                                  {"macwindow", ColorRole::none, ""}};
  const char* const stateNames[] = {"no permission", "running", "stopped"};

  constexpr int cellWidth = 300, cellHeight = 130, labelWidth = 190, header = 30;
  QImage sheet(labelWidth + 2 * cellWidth, header + 2 * cellHeight, QImage::Format_RGB32);
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  painter.setRenderHint(QPainter::Antialiasing);
  QFont font = painter.font();
  font.setPixelSize(13);
  painter.setFont(font);
  painter.setPen(Qt::black);
  for (int column = 0; column < 2; ++column) {
    painter.drawText(QRect(labelWidth + column * cellWidth, 0, cellWidth, header), Qt::AlignCenter,
                     trays[column].first);
  }
  for (int row = 0; row < 2; ++row) {
    QApplication::setPalette(themes[row].second);
    const int top = header + row * cellHeight;
    painter.setPen(Qt::black);
    painter.drawText(QRect(8, top, labelWidth - 8, cellHeight), Qt::AlignVCenter | Qt::AlignLeft,
                     themes[row].first);
    for (int column = 0; column < 2; ++column) {
      const QRect cell(labelWidth + column * cellWidth, top, cellWidth, cellHeight);
      painter.fillRect(cell.adjusted(2, 2, -2, -2), trays[column].second);
      for (int i = 0; i < 3; ++i) {
        const QIcon icon = trayIcon(states[i]);
        const int x = cell.left() + 20 + i * 95;
        painter.drawPixmap(x + 25, cell.top() + 14, icon.pixmap(22, 22));
        painter.drawPixmap(x + 13, cell.top() + 44, icon.pixmap(48, 48));
        painter.setPen(column == 0 ? QColor(60, 60, 60) : QColor(200, 200, 200));
        painter.drawText(QRect(x - 5, cell.top() + 96, 85, 24), Qt::AlignCenter, stateNames[i]);
      }
    }
  }
  painter.end();
  if (!sheet.save(QString::fromLocal8Bit(argv[1]))) {
    std::cerr << "cannot write " << argv[1] << '\n';
    return 1;
  }
  return 0;
}
