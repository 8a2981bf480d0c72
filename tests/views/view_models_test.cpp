// The view models: what each view shows in each state, as pure functions.
#include "views/view_models.h"

#include <gtest/gtest.h>

#include <QPalette>
#include <cmath>

#include "views/style.h"

namespace dozewick {
namespace {

// Window backgrounds of light and dark desktop themes, with their text and selection colours.
struct Theme {
  const char* name;
  QRgb window, text, highlight, highlightedText;
};
constexpr Theme kThemes[] = {
    {"light grey", 0xefefef, 0x000000, 0x308cc6, 0xffffff},
    {"white", 0xffffff, 0x2e3436, 0x3584e4, 0xffffff},
    {"dark grey", 0x353535, 0xeeeeec, 0x2a82da, 0xffffff},
    {"near black", 0x1e1e1e, 0xebebeb, 0x2a82da, 0x000000},
};

QPalette palette(const Theme& theme) {
  QPalette palette(QColor::fromRgb(theme.window), QColor::fromRgb(theme.window));
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(role, QColor::fromRgb(theme.text));
  palette.setColor(QPalette::Highlight, QColor::fromRgb(theme.highlight));
  palette.setColor(QPalette::HighlightedText, QColor::fromRgb(theme.highlightedText));
  return palette;
}

// Degrees between two hues.
double hueDistance(const QColor& a, const QColor& b) {
  const double d = std::abs(a.hslHueF() - b.hslHueF()) * 360;
  return std::min(d, 360 - d);
}

// A filled button's text reads on it in every state, and its fill keeps the hue that gives the
// role its meaning (green start, red stop, orange warning).
void expectReadableButton(ColorRole role, const Theme& theme) {
  SCOPED_TRACE(theme.name);
  const QPalette colours = palette(theme);
  const style::ButtonColors button = style::filledButton(role, colours);
  for (const auto& [fill, text] : {std::pair{button.fill, button.text},
                                   {button.hoverFill, button.text},
                                   {button.pressedFill, button.text},
                                   {button.disabledFill, button.disabledText}}) {
    EXPECT_GE(style::contrastRatio(text, fill), style::kAimedContrast)
        << text.name().toStdString() << " on " << fill.name().toStdString();
  }
  if (role != ColorRole::accent) {
    EXPECT_LE(hueDistance(button.fill, style::color(role, colours)), 6)
        << button.fill.name().toStdString();
  }
}

void expectReadableText(ColorRole role, const Theme& theme) {
  const QPalette colours = palette(theme);
  const QColor text = style::textColor(role, colours);
  EXPECT_GE(style::contrastRatio(text, style::windowBackground(colours)), style::kAimedContrast)
      << theme.name << ": " << text.name().toStdString();
  if (role != ColorRole::primary && role != ColorRole::secondary) {
    EXPECT_LE(hueDistance(text, style::color(role, colours)), 6) << theme.name;
  }
}

TEST(ContrastTest, RatiosAsWcagDefinesThem) {
  EXPECT_NEAR(style::contrastRatio(Qt::white, Qt::black), 21, 1e-9);
  EXPECT_NEAR(style::contrastRatio(QColor(0x777777), Qt::white), 4.48, 0.01);
  EXPECT_NEAR(style::contrastRatio(Qt::white, QColor(0x28a745)), 3.13, 0.01);
  EXPECT_EQ(style::over(QColor(0, 0, 0, 153), QColor(0xefefef)).name(), QStringLiteral("#606060"));
  // A readable colour stays as it is; a grey on grey goes as far as black if it must.
  EXPECT_EQ(style::readable(QColor(0x1e7c33), Qt::white), QColor(0x1e7c33));
  EXPECT_EQ(style::readable(Qt::white, Qt::white, 21), QColor(Qt::black));
}

// The texts and filled buttons of the panel and the dialogs, in the roles the views and the
// permission button's forms give them, read on every theme and keep their meaning; the panel's
// own button is in its table below.
TEST(ContrastTest, EveryRoleReadsOnEveryThemeAndKeepsItsMeaning) {
  for (const Theme& theme : kThemes) {
    expectReadableButton(ColorRole::orange, theme);  // the panel's Authorize
    for (const bool granted : {false, true}) {
      for (const bool checking : {false, true})
        expectReadableButton(permissionButtonForm(granted, checking).tint, theme);
      expectReadableText(permissionStatusColor(granted), theme);
    }
    for (const ColorRole role : {ColorRole::primary, ColorRole::secondary, ColorRole::blue,
                                 ColorRole::orange, ColorRole::red})
      expectReadableText(role, theme);
  }
}

PanelInputs inputs(bool permitted, bool running, std::string status = "", bool pending = false) {
  PanelInputs in;
  in.hasAccessibilityPermission = permitted;
  in.isAnswerPending = pending;
  in.isRunning = running;
  in.checkStatus = std::move(status);
  return in;
}

// The header follows the permission first; the control button and the countdown follow the run
// state alone, so with the permission withdrawn while running the header warns and Stop stays.
// An answer not known yet is neutral: no warning, no Authorize.
TEST(PanelModelTest, DerivedValuesOfEveryState) {
  struct Case {
    bool permitted, pending, running;
    const char* icon;
    ColorRole iconColor, dot;
    const char* key;
    const char* controlSymbol;
    ColorRole controlTint;
  };
  const Case cases[] = {
      {false, false, false, "macwindow.badge.exclamationmark", ColorRole::orange, ColorRole::orange,
       "status.needPermission", "play.fill", ColorRole::green},
      {false, false, true, "macwindow.badge.exclamationmark", ColorRole::orange, ColorRole::orange,
       "status.needPermission", "stop.fill", ColorRole::red},
      {false, true, false, "macwindow", ColorRole::secondary, ColorRole::secondary,
       "status.checking", "play.fill", ColorRole::green},
      {true, false, true, "macwindow.on.rectangle", ColorRole::green, ColorRole::green,
       "status.running", "stop.fill", ColorRole::red},
      {true, true, false, "macwindow", ColorRole::blue, ColorRole::secondary, "status.stopped",
       "play.fill", ColorRole::green},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "permitted " << c.permitted << " pending " << c.pending
                                    << " running " << c.running);
    const PanelModel model = panelModel(inputs(c.permitted, c.running, "Checking...", c.pending));
    EXPECT_EQ(model.iconName, c.icon);
    EXPECT_EQ(model.iconColor, c.iconColor);
    EXPECT_EQ(model.dotColor, c.dot);
    EXPECT_EQ(model.statusKey, c.key);
    EXPECT_EQ(model.countStyle, c.permitted ? ColorRole::primary : ColorRole::secondary);
    EXPECT_EQ(model.showsPermissionSection, !c.permitted && !c.pending);
    EXPECT_EQ(model.showsCheckStatus, model.showsPermissionSection);
    EXPECT_EQ(model.controlStops, c.running);
    EXPECT_EQ(model.controlSymbol, c.controlSymbol);
    EXPECT_EQ(model.controlTextKey, c.running ? "button.stop" : "button.start");
    EXPECT_EQ(model.controlTint, c.controlTint);
    EXPECT_EQ(model.showsNextCheckRow, c.running);
    for (const Theme& theme : kThemes) {
      expectReadableButton(model.controlTint, theme);
      expectReadableText(model.countStyle, theme);
    }
  }
  EXPECT_FALSE(panelModel(inputs(false, false, "")).showsCheckStatus);
  PanelInputs kept = inputs(true, true);
  EXPECT_FALSE(panelModel(kept).showsKeptRow);
  kept.keptCount = 2;
  EXPECT_TRUE(panelModel(kept).showsKeptRow);
}

// Only a grant that waits for the next login changes the last step: the program must then be
// running after that login, by itself or started again.
TEST(PermissionDialogModelTest, TheLastStepFollowsTheLoginThatTheGrantWaitsFor) {
  for (const bool launches : {false, true}) {
    EXPECT_STREQ(lastStep(false, launches).textKey, "permission.step4");
    EXPECT_FALSE(lastStep(false, launches).offersLaunchAtLogin);
  }
  EXPECT_STREQ(lastStep(true, true).textKey, "permission.step4.autostart");
  EXPECT_FALSE(lastStep(true, true).offersLaunchAtLogin);
  EXPECT_STREQ(lastStep(true, false).textKey, "permission.step4.restart");
  EXPECT_TRUE(lastStep(true, false).offersLaunchAtLogin);
}

// The panel's smoke test and the tray's show each icon with its text; here that without the
// permission the run state is not even read, and that an answer not known yet warns of nothing.
TEST(TrayIconModelTest, MissingPermissionOutranksTheRunStateWhichIsThenNotRead) {
  class Keys final : public Localizer {
   public:
    std::string localizedString(const std::string& key) const override { return key; }
  } keys;
  int reads = 0;
  auto running = [&reads] { return ++reads > 0; };
  EXPECT_EQ(trayIconModel(false, false, running, keys).tint, ColorRole::orange);
  const TrayIconModel pending = trayIconModel(false, true, running, keys);
  EXPECT_EQ(pending.symbol, "macwindow");
  EXPECT_EQ(pending.tint, ColorRole::none);
  EXPECT_EQ(pending.description, "status.checking");
  EXPECT_EQ(reads, 0);
  EXPECT_EQ(trayIconModel(true, false, running, keys).tint, ColorRole::green);
  EXPECT_EQ(reads, 1);
}

}  // namespace
}  // namespace dozewick
