#include "views/view_models.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>

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

TEST(FigureTextTest, PlainDigitsWithoutGroupingInEveryLanguage) {
  EXPECT_EQ(figureText("Active", 1000), "Active: 1000");
  EXPECT_EQ(figureText("活跃窗口", 1234567), "活跃窗口: 1234567");
  EXPECT_EQ(figureText("Minimized", 0), "Minimized: 0");
  EXPECT_EQ(figureText("Minimized", -3), "Minimized: -3");
  EXPECT_EQ(figureText("X", std::numeric_limits<std::int64_t>::max()), "X: 9223372036854775807");
  EXPECT_EQ(figureText("X", std::numeric_limits<std::int64_t>::min()), "X: -9223372036854775808");
  EXPECT_EQ(secondsText("Next Check", 60), "Next Check: 60s");
  EXPECT_EQ(secondsText("下次检查", 0), "下次检查: 0s");
}

TEST(PermissionButtonFormTest, GrantedOutranksCheckingAndNeverActs) {
  const struct {
    bool granted, checking;
    const char* key;
    bool enabled;
    ColorRole tint;
  } cases[] = {{true, true, "status.permission.granted", false, ColorRole::green},
               {true, false, "status.permission.granted", false, ColorRole::green},
               {false, true, "status.checking", false, ColorRole::accent},
               {false, false, "button.authorize", true, ColorRole::accent}};
  for (const auto& c : cases) {
    const PermissionButtonForm form = permissionButtonForm(c.granted, c.checking);
    EXPECT_EQ(form.textKey, c.key);
    EXPECT_EQ(form.enabled, c.enabled);
    EXPECT_EQ(form.startsCheck, c.enabled) << "only the enabled form acts";
    EXPECT_EQ(form.tint, c.tint);
    EXPECT_EQ(permissionStatusColor(c.granted), c.granted ? ColorRole::green : ColorRole::orange);
  }
}

class TableLocalizer final : public Localizer {
 public:
  std::string localizedString(const std::string& key) const override {
    static const std::map<std::string, std::string> texts = {{"status.needPermission", "需要权限"},
                                                             {"status.running", "运行中"},
                                                             {"settings.notSaved", "未保存："}};
    auto found = texts.find(key);
    return found == texts.end() ? key : found->second;
  }
};

TEST(TrayIconModelTest, MissingPermissionOutranksTheRunStateWhichIsThenNotRead) {
  const TableLocalizer texts;
  int reads = 0;
  auto running = [&reads] {
    ++reads;
    return true;
  };
  const TrayIconModel warning = trayIconModel(false, running, texts);
  EXPECT_EQ(reads, 0);
  EXPECT_EQ(warning.symbol, "macwindow.badge.exclamationmark");
  EXPECT_EQ(warning.tint, ColorRole::orange);
  EXPECT_EQ(warning.description, "需要权限");

  const TrayIconModel active = trayIconModel(true, running, texts);
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(active.symbol, "macwindow.on.rectangle");
  EXPECT_EQ(active.tint, ColorRole::green);
  EXPECT_EQ(active.description, "运行中");

  // The product name is never translated.
  const TrayIconModel idle = trayIconModel(
      true, [] { return false; }, texts);
  EXPECT_EQ(idle.symbol, "macwindow");
  EXPECT_EQ(idle.tint, ColorRole::none);
  EXPECT_EQ(idle.description, "Dozewick");
}

TEST(SettingsErrorTextTest, LeadInOfTheLanguageThenTheSystemsReason) {
  const TableLocalizer chinese;
  class English final : public Localizer {
   public:
    std::string localizedString(const std::string& key) const override {
      return key == "settings.notSaved" ? "Not saved:" : key;
    }
  } english;
  const struct {
    const char* reason;
    const Localizer& texts;
    const char* shown;
  } cases[] = {
      {"", english, ""},
      {"", chinese, ""},
      {"Permission denied", english, "Not saved: Permission denied"},
      {"Permission denied", chinese, "未保存：Permission denied"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(settingsErrorText(c.reason, c.texts), c.shown) << c.reason;
}

}  // namespace
}  // namespace dozewick
