#pragma once

#include <QDBusConnection>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/window_system.h"

namespace dozewick {

// The desktop of a GNOME Shell session, through the extension Dozewick installs into the shell
// (see gnome_extension.h). Each check asks the extension once for the windows and once for the
// focused window; nothing is remembered between checks but the frontmost application.
class GnomeWindowSystem final : public WindowSystem {
 public:
  struct Options {
    std::int32_t ownPid = 0;  // this program's windows are never listed nor frontmost
    int callTimeoutMs = 2000;
  };

  GnomeWindowSystem(QDBusConnection bus, Options options);

  // The version the extension answers with; nullopt when it does not answer. Any thread.
  std::optional<unsigned> extensionVersion() const;
  // True when the extension answers with the version this program understands. Any thread.
  bool trusted() const;

  std::optional<std::vector<WindowEntry>> onScreenWindowEntries() override;
  bool hideApplication(std::int32_t pid) override;
  std::optional<std::vector<AccessibleWindow>> applicationWindows(std::int32_t pid) override;
  bool setMinimized(const AccessibleWindow& window) override;
  std::optional<std::int32_t> frontmostApplicationPID() override;

 private:
  struct Window {
    std::uint64_t id = 0;
    std::int32_t pid = 0;
    std::string app;
    std::string title;
    bool minimized = false;
    bool ordinary = false;
    bool onCurrentWorkspace = false;
    bool skipsTaskbar = false;
  };

  std::optional<std::vector<Window>> listWindows() const;
  bool iconify(const std::vector<std::uint64_t>& ids);

  QDBusConnection bus_;
  Options options_;
  std::optional<std::int32_t> frontmost_;
};

}  // namespace dozewick
