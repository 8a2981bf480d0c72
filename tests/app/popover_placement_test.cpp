#include <gtest/gtest.h>

#include "app/popover_window.h"

namespace dozewick {
namespace {

const QSize kPanel{260, 400};

// A 1920 × 1080 screen whose tray panel takes the top 24 pixels.
const QRect kTopPanelArea{0, 24, 1920, 1056};
// The same screen with the panel at the bottom.
const QRect kBottomPanelArea{0, 0, 1920, 1056};

TEST(PopoverPlacement, CentredBelowAnIconInATopTray) {
  const QRect icon(1000, 2, 20, 20);
  const QPoint at = popoverPosition(icon, {0, 0}, kTopPanelArea, kPanel);
  EXPECT_NEAR(at.x() + kPanel.width() / 2, icon.center().x(), 1);
  EXPECT_GT(at.y(), icon.bottom());
  EXPECT_GE(at.y(), kTopPanelArea.top());
  EXPECT_LT(at.y() - icon.bottom(), 12) << "the panel hangs right below the icon";
}

TEST(PopoverPlacement, AboveAnIconInABottomTray) {
  const QRect icon(1000, 1058, 20, 20);
  const QPoint at = popoverPosition(icon, {0, 0}, kBottomPanelArea, kPanel);
  EXPECT_LT(at.y() + kPanel.height(), icon.top() + 1);
  EXPECT_LE(at.y() + kPanel.height(), kBottomPanelArea.bottom() + 1);
  EXPECT_LT(icon.top() - (at.y() + kPanel.height()), 12);
}

TEST(PopoverPlacement, KeptInsideTheScreenAtItsEdges) {
  // An icon in the far right corner: the panel shifts left instead of leaving the screen.
  QPoint at = popoverPosition(QRect(1905, 2, 14, 20), {0, 0}, kTopPanelArea, kPanel);
  EXPECT_EQ(at.x() + kPanel.width(), 1920);
  // And in the far left corner, right.
  at = popoverPosition(QRect(0, 2, 14, 20), {0, 0}, kTopPanelArea, kPanel);
  EXPECT_EQ(at.x(), 0);
  // A second screen left of the first, with negative coordinates.
  const QRect leftScreen(-1280, 0, 1280, 1024);
  at = popoverPosition(QRect(-1300, 0, 16, 16), {0, 0}, leftScreen, kPanel);
  EXPECT_EQ(at.x(), -1280);
}

TEST(PopoverPlacement, AtThePointerWhenTheTrayGivesNoGeometry) {
  const QPoint pointer(700, 5);
  for (const std::optional<QRect>& none : {std::optional<QRect>(), std::optional<QRect>(QRect())}) {
    const QPoint at = popoverPosition(none, pointer, kTopPanelArea, kPanel);
    EXPECT_NEAR(at.x() + kPanel.width() / 2, pointer.x(), 1);
    EXPECT_GE(at.y(), kTopPanelArea.top());
    EXPECT_LT(at.y(), 40);
  }
  // The pointer on a bottom panel: above it.
  const QPoint low(700, 1070);
  const QPoint at = popoverPosition(std::nullopt, low, kBottomPanelArea, kPanel);
  EXPECT_LE(at.y() + kPanel.height(), low.y());
}

TEST(PopoverPlacement, ASideTrayStillKeepsThePanelOnScreen) {
  // A vertical panel on the left edge, icon halfway down: below the icon, shifted right.
  const QRect area(48, 0, 1872, 1080);
  const QPoint at = popoverPosition(QRect(10, 500, 24, 24), {0, 0}, area, kPanel);
  EXPECT_EQ(at.x(), 48);
  EXPECT_GE(at.y(), 524);
  EXPECT_LE(at.y() + kPanel.height(), 1080);
  // Near the bottom of that edge there is room neither below nor... below; it goes above.
  const QPoint low = popoverPosition(QRect(10, 1000, 24, 24), {0, 0}, area, kPanel);
  EXPECT_LE(low.y() + kPanel.height(), 1000);
}

TEST(PopoverPlacement, AnAreaSmallerThanThePanelPinsItToTheTopLeft) {
  const QRect tiny(100, 50, 200, 300);
  const QPoint at = popoverPosition(QRect(150, 60, 16, 16), {0, 0}, tiny, kPanel);
  EXPECT_EQ(at, QPoint(100, 50)) << "its title and controls stay reachable";
}

}  // namespace
}  // namespace dozewick
