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
  bool isAnswerPending = false;  // the desktop cannot tell yet: neutral, no warning
  bool isRunning = false;
  std::int64_t activeWindowCount = 0;
  std::int64_t minimizedCount = 0;
  std::int64_t nextMinimizeIn = 0;
  std::int64_t keptCount = 0;
  std::int64_t putAwayCount = 0;
  std::string checkStatus;

  bool operator==(const PanelInputs&) const = default;
};

// The panel's derived values. A missing permission outranks the run state for the header; the
// next-check row and the control button follow the run state alone. While the desktop cannot
// tell yet, the header reads "checking" in neutral colours and nothing asks for Authorize.
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
  bool showsKeptRow = false;    // only when the desktop kept windows due to go
  bool showsBringBack = false;  // only while the run has windows to bring back
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
// The permission dialog's last step. After an Authorize whose grant comes with the next login,
// the program must be running after that login to see it: it starts by itself when it launches at
// login, else the user starts it again, and the dialog offers to switch launching at login on.
struct LastStep {
  const char* textKey;
  bool offersLaunchAtLogin;
};
LastStep lastStep(bool needsNewLogin, bool launchesAtLogin);

// The status line's colour in the permission dialog.
ColorRole permissionStatusColor(bool hasAccessibilityPermission);

// The tray icon: the missing permission outranks the run state.
struct TrayIconModel {
  std::string symbol;
  ColorRole tint = ColorRole::none;  // orange, green or none (the panel's window-text colour)
  std::string description;           // its meaning in words; the tooltip adds the counts
};

// The settings dialog's line about a change that could not be made: a lead-in in the current
// language, then the reason as the system gave it. Empty when there is no reason.
std::string settingsErrorText(const std::string& reason, const Localizer& texts);

inline constexpr const char* kProductName = "Dozewick";

// The tray icon's tooltip: the product, its state and, while running, the counts
// ("Dozewick: running, 4 active, 2 minimized").
// `keepsWindows`: the window manager minimizes nothing, which is why the permission is missing.
std::string trayToolTip(bool hasAccessibilityPermission, bool isAnswerPending, bool keepsWindows,
                        bool isRunning, std::int64_t active, std::int64_t minimized,
                        const Localizer& texts);

// `isRunning` is read only when the permission is granted. An answer still pending draws the
// plain icon, described as being checked.
template <class IsRunning>
TrayIconModel trayIconModel(bool hasAccessibilityPermission, bool isAnswerPending,
                            IsRunning&& isRunning, const Localizer& texts);

TrayIconModel trayIconModelFor(bool hasAccessibilityPermission, bool isAnswerPending,
                               bool isRunning, const Localizer& texts);

template <class IsRunning>
TrayIconModel trayIconModel(bool hasAccessibilityPermission, bool isAnswerPending,
                            IsRunning&& isRunning, const Localizer& texts) {
  if (!hasAccessibilityPermission)
    return trayIconModelFor(false, isAnswerPending, false, texts);
  return trayIconModelFor(true, false, static_cast<bool>(isRunning()), texts);
}

}  // namespace dozewick
