// The windows the GNOME extension announces, as D-Bus hands them over.
#include "platform/gnome/gnome_state.h"

namespace dozewick::gnome {

namespace {

constexpr qsizetype kMaxText = 1 << 14;

}  // namespace

const QDBusArgument& operator>>(const QDBusArgument& argument, AnnouncedWindow& window) {
  argument.beginStructure();
  argument >> window.id >> window.pid >> window.wmClass >> window.appId >> window.title >>
      window.minimized >> window.ordinary >> window.onCurrentWorkspace >> window.skipsTaskbar;
  argument.endStructure();
  return argument;
}

std::optional<DesktopWindow> windowOf(const AnnouncedWindow& w) {
  if (w.id == 0 || w.pid <= 0) {
    return std::nullopt;
  }
  // The desktop's application id names the application best; the class is the fallback.
  const QString app = w.appId.endsWith(QStringLiteral(".desktop")) ? w.appId.chopped(8) : w.appId;
  return DesktopWindow{
      .id = w.id,
      .pid = w.pid,
      .application = (app.isEmpty() ? w.wmClass : app).left(kMaxText).toStdString(),
      .title = w.title.left(kMaxText).toStdString(),
      .type = w.ordinary ? WindowType::ordinary : WindowType::other,
      .minimized = w.minimized,
      .onCurrentDesktop = w.onCurrentWorkspace,
      .skipsTaskbar = w.skipsTaskbar,
  };
}

}  // namespace dozewick::gnome
