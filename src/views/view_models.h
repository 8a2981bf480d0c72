// What the views show, as pure functions of the published values.
#pragma once

#include <cstdint>
#include <string>

#include "core/localizer.h"
#include "views/color_role.h"

namespace dozewick {

// What the views show, as pure functions of the published values. No widgets here.

// The published values the panel reads.
struct PanelInputs {
  bool hasAccessibilityPermission = false;
  bool isRunning = false;
  std::int64_t activeWindowCount = 0;
  std::int64_t minimizedCount = 0;
  std::int64_t nextMinimizeIn = 0;
  std::int64_t keptCount = 0;
  std::string checkStatus;
};

// The panel's derived values. A missing permission outranks the run state for the header; the
// next-check row and the control button follow the run state alone.
struct PanelModel {
  std::string iconName;       // header symbol
  ColorRole iconColor{};      // header symbol
  ColorRole dotColor{};       // status dot
  std::string statusKey;      // state text
  ColorRole countStyle{};     // active-windows and minimized rows
  bool controlStops = false;  // the control button stops the loop (else it starts it)
  std::string controlSymbol;
  std::string controlTextKey;
  ColorRole controlTint{};
  bool showsPermissionSection = false;
  bool showsCheckStatus = false;
  bool showsNextCheckRow = false;
  bool showsKeptRow = false;  // only when the desktop kept windows due to go
};

PanelModel panelModel(const PanelInputs& inputs);

// "<label>: <value>" with the number in plain decimal digits (no grouping) in every language.
std::string figureText(const std::string& label, std::int64_t value);
// "<label>: <value>s".
std::string secondsText(const std::string& label, std::int64_t seconds);

// The permission dialog's main button.
struct PermissionButtonForm {
  std::string textKey;
  bool enabled = true;
  // green when granted; `accent` (the untinted prominent look) otherwise.
  ColorRole tint = ColorRole::accent;
  // Pressing it starts the guided check; the granted form does nothing.
  bool startsCheck = false;
};

PermissionButtonForm permissionButtonForm(bool hasAccessibilityPermission,
                                          bool isCheckingPermission);
// The status line's colour in the permission dialog.
ColorRole permissionStatusColor(bool hasAccessibilityPermission);

// The tray icon: the missing permission outranks the run state.
struct TrayIconModel {
  std::string symbol;
  ColorRole tint = ColorRole::none;  // orange, green or none (the panel's window-text colour)
  std::string description;           // tooltip and accessible description
};

// The settings dialog's line about a change that could not be made: a lead-in in the current
// language, then the reason as the system gave it. Empty when there is no reason.
std::string settingsErrorText(const std::string& reason, const Localizer& texts);

inline constexpr const char* kProductName = "Dozewick";

// `isRunning` is read only when the permission is granted.
template <class IsRunning>
TrayIconModel trayIconModel(bool hasAccessibilityPermission, IsRunning&& isRunning,
                            const Localizer& texts);

TrayIconModel trayIconModelFor(bool hasAccessibilityPermission, bool isRunning,
                               const Localizer& texts);

template <class IsRunning>
TrayIconModel trayIconModel(bool hasAccessibilityPermission, IsRunning&& isRunning,
                            const Localizer& texts) {
  if (!hasAccessibilityPermission)
    return trayIconModelFor(false, false, texts);
  return trayIconModelFor(true, static_cast<bool>(isRunning()), texts);
}

}  // namespace dozewick
