#include "views/symbol_icons.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <utility>

#include "views/view_widgets.h"

namespace dozewick {
namespace {

// Every symbol the views and the tray ask for.
const char* const kUsedSymbols[] = {"macwindow",
                                    "macwindow.badge.exclamationmark",
                                    "macwindow.on.rectangle",
                                    "gearshape.fill",
                                    "exclamationmark.triangle.fill",
                                    "lock.open",
                                    "arrow.clockwise",
                                    "rectangle.stack",
                                    "minus.circle.fill",
                                    "timer",
                                    "stop.fill",
                                    "play.fill",
                                    "power.circle.fill",
                                    "power.circle",
                                    "lock.shield",
                                    "1.circle",
                                    "2.circle",
                                    "3.circle",
                                    "4.circle",
                                    "xmark.circle.fill",
                                    "globe"};

// Share of the pixels that are at least half covered.
double coverage(const QImage& image) {
  int covered = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x)
      covered += qAlpha(image.pixel(x, y)) >= 128;
  }
  return static_cast<double>(covered) / (image.width() * image.height());
}

TEST(SymbolIconsTest, EveryUsedSymbolHasVisibleArtworkAtEverySize) {
  for (const char* name : kUsedSymbols) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(hasSymbol(name));
    for (int size : {16, 22, 32, 48}) {
      const QImage image = symbolPixmap(name, size, Qt::black).toImage();
      ASSERT_EQ(image.size(), QSize(size, size));
      const double share = coverage(image);
      EXPECT_GT(share, 0.08) << size << " px: too faint to read";
      EXPECT_LT(share, 0.9) << size << " px: a blot";
    }
  }
  EXPECT_EQ(symbolNames().size(), static_cast<int>(std::size(kUsedSymbols)));
}

TEST(SymbolIconsTest, UnknownNamesGiveNothing) {
  EXPECT_FALSE(hasSymbol("no.such.symbol"));
  EXPECT_TRUE(symbolPixmap("no.such.symbol", 16, Qt::red).isNull());
  EXPECT_TRUE(symbolIcon("no.such.symbol", Qt::red).isNull());
  EXPECT_TRUE(symbolPixmap("../icons.qrc", 16, Qt::red).isNull());
  EXPECT_TRUE(symbolPixmap("macwindow", 0, Qt::red).isNull());
}

// Every pixel is the tint, at some coverage; the cut-outs stay see-through.
TEST(SymbolIconsTest, TintsInOneColourAndKeepsCutOutsTransparent) {
  const QColor tint(255, 149, 0);
  const QImage image =
      symbolPixmap("minus.circle.fill", 48, tint).toImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      if (qAlpha(pixel) < 250)
        continue;
      ASSERT_EQ(qRgb(qRed(pixel), qGreen(pixel), qBlue(pixel)), tint.rgb()) << x << "," << y;
    }
  }
  EXPECT_EQ(qAlpha(image.pixel(24, 24)), 0) << "the minus bar is cut out";
  EXPECT_EQ(qAlpha(image.pixel(24, 10)), 255) << "the disc around it is filled";
  EXPECT_EQ(qAlpha(image.pixel(1, 1)), 0) << "the corner is empty";

  QColor faint = tint;
  faint.setAlphaF(0.5f);
  const QImage half = symbolPixmap("minus.circle.fill", 48, faint).toImage();
  EXPECT_NEAR(qAlpha(half.pixel(24, 10)), 128, 2);
}

TEST(SymbolIconsTest, RendersAtTheDevicePixelRatio) {
  const QPixmap pixmap = symbolPixmap("gearshape.fill", 16, Qt::white, 2.0);
  EXPECT_EQ(pixmap.size(), QSize(32, 32));
  EXPECT_DOUBLE_EQ(pixmap.devicePixelRatio(), 2.0);
  EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(16, 16));

  const QIcon icon = symbolIcon("gearshape.fill", Qt::white);
  ASSERT_FALSE(icon.isNull());
  const QPixmap sharp = icon.pixmap(QSize(24, 24), 2.0);
  EXPECT_EQ(sharp.size(), QSize(48, 48));
  const QPixmap disabled = icon.pixmap(QSize(24, 24), 1.0, QIcon::Disabled);
  const QPixmap normal = icon.pixmap(QSize(24, 24), 1.0, QIcon::Normal);
  EXPECT_LT(qAlpha(disabled.toImage().pixel(12, 3)), qAlpha(normal.toImage().pixel(12, 3)));
}

// The tray's background is the desktop's: each of the three icons must stand out on a light and
// on a dark tray, whichever theme the application itself has.
TEST(SymbolIconsTest, TrayIconsReadOnLightAndDarkTraysInEitherTheme) {
  const QPalette original = QApplication::palette();
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(30, 30, 30));
  dark.setColor(QPalette::WindowText, QColor(235, 235, 235));
  QPalette light;
  light.setColor(QPalette::Window, QColor(240, 240, 240));
  light.setColor(QPalette::WindowText, QColor(20, 20, 20));
  const TrayIconModel states[] = {{"macwindow.badge.exclamationmark", ColorRole::orange, ""},
                                  {"macwindow.on.rectangle", ColorRole::green, ""},
                                  {"macwindow", ColorRole::none, ""}};
  auto luma = [](QRgb c) { return (0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c)) / 255; };
  for (const auto& [theme, palette] : {std::pair{"light theme", light}, {"dark theme", dark}}) {
    QApplication::setPalette(palette);
    for (const QColor tray : {QColor(245, 245, 245), QColor(35, 35, 35)}) {
      for (const TrayIconModel& state : states) {
        SCOPED_TRACE(testing::Message()
                     << theme << ", tray " << tray.name().toStdString() << ", " << state.symbol);
        QImage shown(22, 22, QImage::Format_RGB32);
        shown.fill(tray);
        QPainter(&shown).drawPixmap(0, 0, trayIcon(state).pixmap(22, 22));
        int standingOut = 0;
        for (int y = 0; y < 22; ++y) {
          for (int x = 0; x < 22; ++x)
            standingOut += std::abs(luma(shown.pixel(x, y)) - luma(tray.rgb())) >= 0.3;
        }
        EXPECT_GT(standingOut, 22 * 22 / 10) << "hardly visible on this tray";
      }
    }
  }
  QApplication::setPalette(original);
}

// Pictures of every symbol, on light and dark, to look at.
TEST(SymbolIconsTest, SheetOfAllSymbols) {
  const int cell = 56;
  QImage sheet(cell * static_cast<int>(std::size(kUsedSymbols)), cell * 4, QImage::Format_ARGB32);
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  painter.fillRect(QRect(0, cell * 2, sheet.width(), cell * 2), QColor(40, 40, 40));
  int column = 0;
  for (const char* name : kUsedSymbols) {
    const int x = column++ * cell;
    painter.drawPixmap(x + 4, 4, symbolPixmap(name, 48, Qt::black));
    painter.drawPixmap(x + 4, cell + 20, symbolPixmap(name, 16, QColor(0, 122, 255)));
    painter.drawPixmap(x + 28, cell + 16, symbolPixmap(name, 22, QColor(255, 149, 0)));
    painter.drawPixmap(x + 4, cell * 2 + 4, symbolPixmap(name, 48, Qt::white));
    painter.drawPixmap(x + 4, cell * 3 + 20, symbolPixmap(name, 16, QColor(50, 215, 75)));
    painter.drawPixmap(x + 28, cell * 3 + 16, symbolPixmap(name, 22, Qt::white));
  }
  painter.end();
  QDir().mkpath(QStringLiteral(DOZEWICK_SCREENSHOT_DIR));
  EXPECT_TRUE(sheet.save(QStringLiteral(DOZEWICK_SCREENSHOT_DIR "/symbols.png")));
}

// Two-line middle elision, measured in characters.
TEST(ElideMiddleTwoLinesTest, KeepsStartAndEndAroundAnEllipsis) {
  auto chars = [](const QString& text) { return static_cast<int>(text.size()); };
  EXPECT_EQ(elideMiddleTwoLines("/usr/bin/x", 20, chars),
            std::make_pair(QString("/usr/bin/x"), QString()));
  EXPECT_EQ(elideMiddleTwoLines("abcdefghij", 6, chars),
            std::make_pair(QString("abcdef"), QString("ghij")));
  EXPECT_EQ(elideMiddleTwoLines("abcdefghijkl", 6, chars),
            std::make_pair(QString("abcdef"), QString("ghijkl")));
  const auto [first, second] = elideMiddleTwoLines("abcdefghijklmnopqrstuvwxyz", 6, chars);
  EXPECT_EQ(first, "abcdef");
  EXPECT_EQ(second, QString(QChar(0x2026)) + "vwxyz");
  // Too narrow for even one character: still one per line, and no endless loop.
  const auto narrow = elideMiddleTwoLines("abc", 0, chars);
  EXPECT_EQ(narrow.first + narrow.second, "abc");
  EXPECT_EQ(elideMiddleTwoLines("", 10, chars), std::make_pair(QString(), QString()));
}

}  // namespace
}  // namespace dozewick
