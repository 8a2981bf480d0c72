// What the views show, as pure functions of the published values.
#include "views/view_models.h"

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

namespace dozewick {

PanelModel panelModel(const PanelInputs& inputs) {
  const bool permitted = inputs.hasAccessibilityPermission;
  const bool running = inputs.isRunning;
  PanelModel model;
  const bool pending = !permitted && inputs.isAnswerPending;
  if (pending) {
    model.iconName = "macwindow";
    model.iconColor = ColorRole::secondary;
    model.dotColor = ColorRole::secondary;
    model.statusKey = "status.checking";
  } else if (!permitted) {
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
  model.showsPermissionSection = !permitted && !pending;
  model.showsCheckStatus = model.showsPermissionSection && !inputs.checkStatus.empty();
  model.showsNextCheckRow = running;
  model.showsKeptRow = inputs.keptCount > 0;
  model.showsBringBack = inputs.putAwayCount > 0;
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

LastStep lastStep(bool needsNewLogin, bool launchesAtLogin) {
  if (!needsNewLogin)
    return {"permission.step4", false};
  if (launchesAtLogin)
    return {"permission.step4.autostart", false};
  return {"permission.step4.restart", true};
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

namespace {

// The text with %1, %2, ... replaced by the values, in any order the language puts them.
std::string filledIn(std::string text, const std::vector<std::string>& values) {
  for (std::size_t i = values.size(); i-- > 0;) {
    const std::string mark = "%" + std::to_string(i + 1);
    for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
      text.replace(at, mark.size(), values[i]);
      at += values[i].size();
    }
  }
  return text;
}

}  // namespace

std::string trayToolTip(bool hasAccessibilityPermission, bool isAnswerPending, bool keepsWindows,
                        bool isRunning, std::int64_t active, std::int64_t minimized,
                        const Localizer& texts) {
  const char* state = hasAccessibilityPermission
                          ? (isRunning ? "tray.state.running" : "tray.state.stopped")
                      : isAnswerPending ? "tray.state.checking"
                      : keepsWindows    ? "status.noIconify"
                                        : "tray.state.needPermission";
  if (!hasAccessibilityPermission || !isRunning) {
    return filledIn(texts.localizedString("tray.tooltip.state"),
                    {kProductName, texts.localizedString(state)});
  }
  return filledIn(texts.localizedString("tray.tooltip.counts"),
                  {kProductName, texts.localizedString(state), std::to_string(active),
                   std::to_string(minimized)});
}

TrayIconModel trayIconModelFor(bool hasAccessibilityPermission, bool isAnswerPending,
                               bool isRunning, const Localizer& texts) {
  if (!hasAccessibilityPermission && isAnswerPending)
    return {"macwindow", ColorRole::none, texts.localizedString("status.checking")};
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
