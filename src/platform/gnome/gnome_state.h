// The windows the GNOME extension announces, as D-Bus hands them over.
#pragma once

#include <QDBusArgument>
#include <QString>
#include <cstdint>
#include <optional>

#include "platform/desktop_model.h"

namespace dozewick::gnome {

// One window of the extension's state, (tisssbbbb) on the bus.
struct AnnouncedWindow {
  qulonglong id = 0;
  std::int32_t pid = 0;
  QString wmClass, appId, title;
  bool minimized = false, ordinary = false, onCurrentWorkspace = false, skipsTaskbar = false;
};

const QDBusArgument& operator>>(const QDBusArgument& argument, AnnouncedWindow& window);

// Limits: texts cut at 16 Ki characters; the bus keeps a message within 128 MiB, and the backend
// keeps the first 1,024 windows. None for a window without an id or a process.
std::optional<DesktopWindow> windowOf(const AnnouncedWindow& announced);

}  // namespace dozewick::gnome
