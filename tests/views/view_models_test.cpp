// The view models: what each view shows in each state, as pure functions.
#include "views/view_models.h"

#include <gtest/gtest.h>

namespace dozewick {
namespace {

PanelInputs inputs(bool permitted, bool running, std::string status = "") {
  PanelInputs in;
  in.hasAccessibilityPermission = permitted;
  in.isRunning = running;
  in.checkStatus = std::move(status);
  return in;
}

// The header follows the permission first; the control button and the countdown follow the run
// state alone, so with the permission withdrawn while running the header warns and Stop stays.
TEST(PanelModelTest, DerivedValuesOfEveryState) {
  struct Case {
    bool permitted, running;
    const char* icon;
    ColorRole iconColor, dot;
    const char* key;
    const char* controlSymbol;
    ColorRole controlTint;
  };
  const Case cases[] = {
      {false, false, "macwindow.badge.exclamationmark", ColorRole::orange, ColorRole::orange,
       "status.needPermission", "play.fill", ColorRole::green},
      {false, true, "macwindow.badge.exclamationmark", ColorRole::orange, ColorRole::orange,
       "status.needPermission", "stop.fill", ColorRole::red},
      {true, true, "macwindow.on.rectangle", ColorRole::green, ColorRole::green, "status.running",
       "stop.fill", ColorRole::red},
      {true, false, "macwindow", ColorRole::blue, ColorRole::secondary, "status.stopped",
       "play.fill", ColorRole::green},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "permitted " << c.permitted << " running " << c.running);
    const PanelModel model = panelModel(inputs(c.permitted, c.running));
    EXPECT_EQ(model.iconName, c.icon);
    EXPECT_EQ(model.iconColor, c.iconColor);
    EXPECT_EQ(model.dotColor, c.dot);
    EXPECT_EQ(model.statusKey, c.key);
    EXPECT_EQ(model.countStyle, c.permitted ? ColorRole::primary : ColorRole::secondary);
    EXPECT_EQ(model.showsPermissionSection, !c.permitted);
    EXPECT_EQ(model.controlStops, c.running);
    EXPECT_EQ(model.controlSymbol, c.controlSymbol);
    EXPECT_EQ(model.controlTextKey, c.running ? "button.stop" : "button.start");
    EXPECT_EQ(model.controlTint, c.controlTint);
    EXPECT_EQ(model.showsNextCheckRow, c.running);
  }
  EXPECT_FALSE(panelModel(inputs(false, false, "")).showsCheckStatus);
  EXPECT_TRUE(panelModel(inputs(false, false, "Checking... (3s)")).showsCheckStatus);
  EXPECT_FALSE(panelModel(inputs(true, false, "Permission OK")).showsCheckStatus);
}

// The panel's smoke test and the tray's show each icon with its text; here that without the
// permission the run state is not even read.
TEST(TrayIconModelTest, MissingPermissionOutranksTheRunStateWhichIsThenNotRead) {
  class Keys final : public Localizer {
   public:
    std::string localizedString(const std::string& key) const override { return key; }
  } keys;
  int reads = 0;
  auto running = [&reads] { return ++reads > 0; };
  EXPECT_EQ(trayIconModel(false, running, keys).tint, ColorRole::orange);
  EXPECT_EQ(reads, 0);
  EXPECT_EQ(trayIconModel(true, running, keys).tint, ColorRole::green);
  EXPECT_EQ(reads, 1);
}

}  // namespace
}  // namespace dozewick
