// What the views show, as pure functions of the published values.
#include "views/view_models.h"

#include <cinttypes>
#include <cstdio>

namespace dozewick {

PanelModel panelModel(const PanelInputs& inputs) {
  const bool permitted = inputs.hasAccessibilityPermission;
  const bool running = inputs.isRunning;
  PanelModel model;
  if (!permitted) {
    model.iconName = "macwindow.badge.exclamationmark";
    model.iconColor = ColorRole::orange;
    model.dotColor = ColorRole::orange;
    model.statusKey = "status.needPermission";
  } else if (running) {
    model.iconName = "macwindow.on.rectangle";
    model.iconColor = ColorRole::green;
    model.dotColor = ColorRole::green;
    model.statusKey = "status.running";
  } else {
    model.iconName = "macwindow";
    model.iconColor = ColorRole::blue;
    model.dotColor = ColorRole::secondary;
    model.statusKey = "status.stopped";
  }
  model.countStyle = permitted ? ColorRole::primary : ColorRole::secondary;
  model.controlStops = running;
  model.controlSymbol = running ? "stop.fill" : "play.fill";
  model.controlTextKey = running ? "button.stop" : "button.start";
  model.controlTint = running ? ColorRole::red : ColorRole::green;
  model.showsPermissionSection = !permitted;
  model.showsCheckStatus = !permitted && !inputs.checkStatus.empty();
  model.showsNextCheckRow = running;
  model.showsKeptRow = inputs.keptCount > 0;
  return model;
}

namespace {

std::string decimal(std::int64_t value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
  return buffer;
}

}  // namespace

std::string figureText(const std::string& label, std::int64_t value) {
  return label + ": " + decimal(value);
}

std::string secondsText(const std::string& label, std::int64_t seconds) {
  return figureText(label, seconds) + "s";
}

PermissionButtonForm permissionButtonForm(bool hasAccessibilityPermission,
                                          bool isCheckingPermission) {
  if (hasAccessibilityPermission) {
    return {"status.permission.granted", false, ColorRole::green, false};
  }
  if (isCheckingPermission)
    return {"status.checking", false, ColorRole::accent, false};
  return {"button.authorize", true, ColorRole::accent, true};
}

ColorRole permissionStatusColor(bool hasAccessibilityPermission) {
  return hasAccessibilityPermission ? ColorRole::green : ColorRole::orange;
}

std::string settingsErrorText(const std::string& reason, const Localizer& texts) {
  if (reason.empty())
    return {};
  const std::string leadIn = texts.localizedString("settings.notSaved");
  // A full-width colon carries its own space.
  return leadIn.ends_with("：") ? leadIn + reason : leadIn + " " + reason;
}

TrayIconModel trayIconModelFor(bool hasAccessibilityPermission, bool isRunning,
                               const Localizer& texts) {
  if (!hasAccessibilityPermission) {
    return {"macwindow.badge.exclamationmark", ColorRole::orange,
            texts.localizedString("status.needPermission")};
  }
  if (isRunning) {
    return {"macwindow.on.rectangle", ColorRole::green, texts.localizedString("status.running")};
  }
  return {"macwindow", ColorRole::none, kProductName};
}

}  // namespace dozewick
