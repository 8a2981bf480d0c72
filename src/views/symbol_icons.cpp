// The program's own symbol artwork, drawn crisp at every size, and the tray icon.
#include "views/symbol_icons.h"

#include <QDir>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>
#include <cmath>
#include <memory>

#include "views/style.h"

// The resources of a static library must be registered by hand; outside any namespace.
static void registerSymbolResources() {
  Q_INIT_RESOURCE(icons);
}

namespace dozewick {

namespace {

const QString kPrefix = QStringLiteral(":/dozewick/symbols/");

QSvgRenderer* rendererFor(const QString& name) {
  static const bool registered = (registerSymbolResources(), true);
  (void)registered;
  static QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
  auto found = renderers.constFind(name);
  if (found != renderers.constEnd())
    return found->get();
  std::shared_ptr<QSvgRenderer> renderer;
  const QString path = kPrefix + name + QStringLiteral(".svg");
  if (!name.contains(QLatin1Char('/')) && QFile::exists(path)) {
    renderer = std::make_shared<QSvgRenderer>(path);
    if (!renderer->isValid())
      renderer.reset();
  }
  renderers.insert(name, renderer);
  return renderer.get();
}

// The artwork is black where the symbol is and white where it is cut out again; its luminance is
// a mask, so the cut-outs stay transparent whatever the tint and background.
QImage renderTinted(QSvgRenderer& renderer, int pixels, const QColor& tint) {
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, pixels, pixels));
  }
  const QRgb colour = tint.rgb();
  const int tintAlpha = tint.alpha();
  for (int y = 0; y < pixels; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < pixels; ++x) {
      // Premultiplied: the red channel is white's share of the coverage.
      const int coverage = qAlpha(line[x]) - qRed(line[x]);
      const int alpha = std::max(0, coverage) * tintAlpha / 255;
      line[x] = qPremultiply(qRgba(qRed(colour), qGreen(colour), qBlue(colour), alpha));
    }
  }
  return image;
}

// Puts a ring of `halo` around the symbol: every pixel within `radius` of the symbol is covered.
QImage withHalo(const QImage& symbol, const QColor& halo, int radius) {
  const int w = symbol.width(), h = symbol.height();
  QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
  out.fill(Qt::transparent);
  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < w; ++x) {
      int coverage = 0;
      for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
          const int sx = x + dx, sy = y + dy;
          if (sx >= 0 && sy >= 0 && sx < w && sy < h && dx * dx + dy * dy <= radius * radius + 1)
            coverage = std::max(coverage, qAlpha(symbol.pixel(sx, sy)));
        }
      }
      line[x] =
          qPremultiply(qRgba(halo.red(), halo.green(), halo.blue(), coverage * halo.alpha() / 255));
    }
  }
  QPainter painter(&out);
  painter.drawImage(0, 0, symbol);
  return out;
}

class SymbolIconEngine final : public QIconEngine {
 public:
  SymbolIconEngine(QString name, QColor tint, QColor halo)
      : name_(std::move(name)), tint_(std::move(tint)), halo_(std::move(halo)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const int side = std::min(rect.width(), rect.height());
    const QPixmap pixmap = symbolPixmap(name_, side, colourFor(mode), ratio, halo_);
    const QRect target(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2,
                       side, side);
    painter->drawPixmap(target, pixmap);
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }

  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
    const int side = std::min(size.width(), size.height());
    // The size asked for here is in device pixels already.
    QPixmap pixmap = symbolPixmap(name_, side, colourFor(mode), 1.0, halo_);
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = std::min(size.width(), size.height());
    return QSize(side, side);
  }

  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    return {QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(48, 48)};
  }

  QString key() const override { return QStringLiteral("dozewick-symbol"); }
  QIconEngine* clone() const override { return new SymbolIconEngine(name_, tint_, halo_); }
  QString iconName() override { return name_; }
  bool isNull() override { return rendererFor(name_) == nullptr; }

 private:
  QColor colourFor(QIcon::Mode mode) const {
    if (mode != QIcon::Disabled)
      return tint_;
    QColor faded = tint_;
    faded.setAlphaF(tint_.alphaF() * 0.4f);
    return faded;
  }

  QString name_;
  QColor tint_;
  QColor halo_;
};

}  // namespace

QStringList symbolNames() {
  rendererFor(QString());  // registers the resources
  QStringList names;
  const auto entries = QDir(kPrefix).entryList({QStringLiteral("*.svg")}, QDir::Files);
  for (const QString& entry : entries)
    names << entry.chopped(4);
  return names;
}

bool hasSymbol(const QString& name) {
  return rendererFor(name) != nullptr;
}

QPixmap symbolPixmap(const QString& name, int logicalSize, const QColor& tint,
                     qreal devicePixelRatio, const QColor& halo) {
  QSvgRenderer* renderer = rendererFor(name);
  if (!renderer || logicalSize <= 0)
    return {};
  const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
  const int pixels = std::max(1, static_cast<int>(std::lround(logicalSize * ratio)));
  const QString key = QStringLiteral("dozewick-symbol:%1:%2:%3:%4")
                          .arg(name)
                          .arg(pixels)
                          .arg(tint.rgba(), 8, 16, QLatin1Char('0'))
                          .arg(halo.rgba(), 8, 16, QLatin1Char('0'));
  QPixmap pixmap;
  if (!QPixmapCache::find(key, &pixmap)) {
    QImage image = renderTinted(*renderer, pixels, tint);
    if (halo.alpha() > 0)
      image = withHalo(image, halo, std::max(1, pixels / 16));
    pixmap = QPixmap::fromImage(image);
    QPixmapCache::insert(key, pixmap);
  }
  pixmap.setDevicePixelRatio(ratio);
  return pixmap;
}

QIcon symbolIcon(const QString& name, const QColor& tint, const QColor& halo) {
  if (!rendererFor(name))
    return {};
  return QIcon(new SymbolIconEngine(name, tint, halo));
}

QIcon trayIcon(const TrayIconModel& model) {
  const QString name = QString::fromStdString(model.symbol);
  if (model.tint == ColorRole::none)
    return symbolIcon(name, QColor(250, 250, 250), QColor(0, 0, 0, 210));
  // The deeper variants of orange and green, which stand out on light trays too.
  QPalette lightTheme;
  lightTheme.setColor(QPalette::Window, Qt::white);
  return symbolIcon(name, style::color(model.tint, lightTheme));
}

}  // namespace dozewick
