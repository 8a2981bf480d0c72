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
class PaintRecorder : public QObject {
 public:
  explicit PaintRecorder(QWidget& window) : window_(window) {
    window.installEventFilter(this);
    for (QWidget* child : window.findChildren<QWidget*>())
      child->installEventFilter(this);
  }
  QRegion painted;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      auto* widget = static_cast<QWidget*>(watched);
      painted +=
          static_cast<QPaintEvent*>(event)->region().translated(widget->mapTo(&window_, QPoint()));
    }
    return false;
  }

 private:
  QWidget& window_;
};

using PanelRepaintTest = DesktopServicesTest;

// Where there is no tray the panel is the program's window, and each second's redraw costs the
// compositor what it damages: a second that only counts down repaints the countdown alone, and a
// redraw with nothing changed repaints nothing.
TEST_F(PanelRepaintTest, ASecondOfTheLoopRepaintsTheCountdownAlone) {
  for (std::uint32_t id = 1; id <= 5; ++id)
    backend.windows.open(id, static_cast<std::int32_t>(id));
  backend.trusted = true;
  MenuBarView panel(*services);
  panel.show();
  settle();
  find<QPushButton>(panel, "controlButton")->click();
  advance(2'000);
  ASSERT_TRUE(manager->isRunning()());
  auto* countdown = find<QLabel>(panel, "nextCheckText");
  const auto area = [&] { return QRect(countdown->mapTo(&panel, QPoint()), countdown->size()); };
  const QString before = countdown->text();
  QRegion countdownArea(area());

  PaintRecorder paints(panel);
  advance(1'000);
  ASSERT_NE(countdown->text(), before);
  countdownArea += area();
  EXPECT_FALSE(paints.painted.isEmpty());
  const QRect beyond = (paints.painted - countdownArea).boundingRect();
  EXPECT_TRUE(beyond.isEmpty()) << "also painted " << beyond.width() << "x" << beyond.height()
                                << " at " << beyond.x() << "," << beyond.y();

  paints.painted = QRegion();
  language.setCurrentLanguage("en");
  settle();
  EXPECT_TRUE(paints.painted.isEmpty()) << "the same texts and colours again";
}

}  // namespace
}  // namespace dozewick::testing
