// The X atoms the X11 backend reads and writes.
#pragma once

#include <array>
#include <cstdint>

namespace dozewick::xcb {

// The atoms the window backend reads and writes. Interned once per connection, in one batch.
struct Atoms {
  std::uint32_t utf8String = 0;
  std::uint32_t compoundText = 0;
  std::uint32_t wmState = 0;
  std::uint32_t wmChangeState = 0;
  std::uint32_t netSupported = 0;
  std::uint32_t netSupportingWmCheck = 0;
  std::uint32_t netClientList = 0;
  std::uint32_t netClientListStacking = 0;
  std::uint32_t netCurrentDesktop = 0;
  std::uint32_t netNumberOfDesktops = 0;
  std::uint32_t netActiveWindow = 0;
  std::uint32_t netWmName = 0;
  std::uint32_t netWmPid = 0;
  std::uint32_t netWmDesktop = 0;
  std::uint32_t netWmState = 0;
  std::uint32_t netWmStateHidden = 0;
  std::uint32_t netWmStateSkipTaskbar = 0;
  std::uint32_t netWmWindowType = 0;
  std::uint32_t netWmWindowTypeNormal = 0;
  std::uint32_t netWmWindowTypeDialog = 0;
  std::uint32_t netWmWindowTypeDesktop = 0;
  std::uint32_t netWmWindowTypeDock = 0;
  std::uint32_t netWmWindowTypeToolbar = 0;
  std::uint32_t netWmWindowTypeMenu = 0;
  std::uint32_t netWmWindowTypeUtility = 0;
  std::uint32_t netWmWindowTypeSplash = 0;
  std::uint32_t netWmWindowTypeDropdownMenu = 0;
  std::uint32_t netWmWindowTypePopupMenu = 0;
  std::uint32_t netWmWindowTypeTooltip = 0;
  std::uint32_t netWmWindowTypeNotification = 0;
  std::uint32_t netWmWindowTypeCombo = 0;
  std::uint32_t netWmWindowTypeDnd = 0;
};

struct AtomName {
  std::uint32_t Atoms::*member;
  const char* name;
};

inline constexpr std::array kAtomNames{
    AtomName{&Atoms::utf8String, "UTF8_STRING"},
    AtomName{&Atoms::compoundText, "COMPOUND_TEXT"},
    AtomName{&Atoms::wmState, "WM_STATE"},
    AtomName{&Atoms::wmChangeState, "WM_CHANGE_STATE"},
    AtomName{&Atoms::netSupported, "_NET_SUPPORTED"},
    AtomName{&Atoms::netSupportingWmCheck, "_NET_SUPPORTING_WM_CHECK"},
    AtomName{&Atoms::netClientList, "_NET_CLIENT_LIST"},
    AtomName{&Atoms::netClientListStacking, "_NET_CLIENT_LIST_STACKING"},
    AtomName{&Atoms::netCurrentDesktop, "_NET_CURRENT_DESKTOP"},
    AtomName{&Atoms::netNumberOfDesktops, "_NET_NUMBER_OF_DESKTOPS"},
    AtomName{&Atoms::netActiveWindow, "_NET_ACTIVE_WINDOW"},
    AtomName{&Atoms::netWmName, "_NET_WM_NAME"},
    AtomName{&Atoms::netWmPid, "_NET_WM_PID"},
    AtomName{&Atoms::netWmDesktop, "_NET_WM_DESKTOP"},
    AtomName{&Atoms::netWmState, "_NET_WM_STATE"},
    AtomName{&Atoms::netWmStateHidden, "_NET_WM_STATE_HIDDEN"},
    AtomName{&Atoms::netWmStateSkipTaskbar, "_NET_WM_STATE_SKIP_TASKBAR"},
    AtomName{&Atoms::netWmWindowType, "_NET_WM_WINDOW_TYPE"},
    AtomName{&Atoms::netWmWindowTypeNormal, "_NET_WM_WINDOW_TYPE_NORMAL"},
    AtomName{&Atoms::netWmWindowTypeDialog, "_NET_WM_WINDOW_TYPE_DIALOG"},
    AtomName{&Atoms::netWmWindowTypeDesktop, "_NET_WM_WINDOW_TYPE_DESKTOP"},
    AtomName{&Atoms::netWmWindowTypeDock, "_NET_WM_WINDOW_TYPE_DOCK"},
    AtomName{&Atoms::netWmWindowTypeToolbar, "_NET_WM_WINDOW_TYPE_TOOLBAR"},
    AtomName{&Atoms::netWmWindowTypeMenu, "_NET_WM_WINDOW_TYPE_MENU"},
    AtomName{&Atoms::netWmWindowTypeUtility, "_NET_WM_WINDOW_TYPE_UTILITY"},
    AtomName{&Atoms::netWmWindowTypeSplash, "_NET_WM_WINDOW_TYPE_SPLASH"},
    AtomName{&Atoms::netWmWindowTypeDropdownMenu, "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU"},
    AtomName{&Atoms::netWmWindowTypePopupMenu, "_NET_WM_WINDOW_TYPE_POPUP_MENU"},
    AtomName{&Atoms::netWmWindowTypeTooltip, "_NET_WM_WINDOW_TYPE_TOOLTIP"},
    AtomName{&Atoms::netWmWindowTypeNotification, "_NET_WM_WINDOW_TYPE_NOTIFICATION"},
    AtomName{&Atoms::netWmWindowTypeCombo, "_NET_WM_WINDOW_TYPE_COMBO"},
    AtomName{&Atoms::netWmWindowTypeDnd, "_NET_WM_WINDOW_TYPE_DND"},
};

}  // namespace dozewick::xcb
