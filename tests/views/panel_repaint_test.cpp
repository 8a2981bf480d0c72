// What the shown panel repaints each second: its window may stay on screen all day.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPaintEvent>
#include <QPushButton>

#include "support/desktop_services.h"
#include "views/menu_bar_view.h"
#include "views/permission_request_view.h"
#include "views/settings_view.h"

namespace dozewick::testing {
namespace {

// Where a window's widgets paint, in the window's coordinates: what it damages on screen.
struct PaintRecorder : QObject {
  explicit PaintRecorder(QWidget& window) : window(window) {
    for (QWidget* widget : window.findChildren<QWidget*>())
      widget->installEventFilter(this);
    window.installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      painted += static_cast<QPaintEvent*>(event)->region().translated(
          static_cast<QWidget*>(watched)->mapTo(&window, QPoint()));
    return false;
  }
  QWidget& window;
  QRegion painted;
};

// A second that only counts down repaints the countdown alone; nothing changed, nothing.
TEST_F(DesktopServicesTest, ASecondOfTheLoopRepaintsTheCountdownAlone) {
  backend.windows.open(1, 1);
  backend.trusted = true;
  MenuBarView panel(*services);
  panel.show();
  settle();
  find<QPushButton>(panel, "controlButton")->click();
  advance(2'000);
  auto* countdown = find<QLabel>(panel, "nextCheckText");
  const auto area = [&] { return QRect(countdown->mapTo(&panel, QPoint()), countdown->size()); };
  const QString before = countdown->text();
  QRegion countdownArea(area());

  PaintRecorder paints(panel);
  advance(1'000);
  ASSERT_NE(countdown->text(), before);
  EXPECT_FALSE(paints.painted.isEmpty());
  const QRect beyond = (paints.painted - countdownArea - area()).boundingRect();
  EXPECT_TRUE(beyond.isEmpty()) << "also painted " << beyond.width() << "x" << beyond.height();

  paints.painted = QRegion();
  language.setCurrentLanguage("en");
  settle();
  EXPECT_TRUE(paints.painted.isEmpty()) << "the same texts and colours again";
}

}  // namespace
}  // namespace dozewick::testing
