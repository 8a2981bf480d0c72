// Where the panel goes: below the icon or the pointer, inside the screen.
#include <gtest/gtest.h>

#include "app/popover_window.h"

namespace dozewick {
namespace {

// The 260 x 400 panel beside its anchor (the tray icon, or the pointer when the tray gives no
// geometry), inside the screen's available area.
TEST(PopoverPlacementTest, BesideTheAnchorAndInsideTheArea) {
  const QRect top{0, 24, 1920, 1056}, bottom{0, 0, 1920, 1056}, side{48, 0, 1872, 1080};
  const struct {
    std::optional<QRect> icon;
    QPoint pointer;
    QRect area;
    QPoint at;
  } cases[] = {
      {QRect(1000, 2, 20, 20), {}, top, {880, 26}},         // centred below a top tray icon
      {QRect(1000, 1058, 20, 20), {}, bottom, {880, 654}},  // above a bottom one
      {QRect(1905, 2, 14, 20), {}, top, {1660, 26}},        // kept inside at the edges
      {QRect(0, 2, 14, 20), {}, top, {0, 26}},
      {QRect(-1300, 0, 16, 16), {}, {-1280, 0, 1280, 1024}, {-1280, 20}},
      {std::nullopt, {700, 5}, top, {571, 24}},  // at the pointer
      {QRect(), {700, 5}, top, {571, 24}},
      {std::nullopt, {700, 1070}, bottom, {571, 656}},
      {QRect(10, 500, 24, 24), {}, side, {48, 528}},  // a side tray
      {QRect(10, 1000, 24, 24), {}, side, {48, 596}},
      {QRect(150, 60, 16, 16), {}, {100, 50, 200, 300}, {100, 50}},  // too small: top left
  };
  for (const auto& c : cases)
    EXPECT_EQ(popoverPosition(c.icon, c.pointer, c.area, {260, 400}), c.at)
        << c.area.x() << "," << c.area.y() << " " << c.pointer.x() << "," << c.pointer.y();
}

}  // namespace
}  // namespace dozewick
