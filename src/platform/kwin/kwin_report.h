// What the KWin script reports of the windows, read from the JSON text it sends.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "platform/desktop_model.h"

namespace dozewick::kwin {

// A window as the script names it: by KWin's id text, the model's id left to the backend.
struct ReportedWindow {
  QString key;
  DesktopWindow window;  // pid 0: KWin knows no process, `xid` names the X11 window
  std::uint32_t xid = 0;
};

struct Report {
  std::vector<ReportedWindow> windows;  // each key once, in the script's order
  QString activeKey;
  std::optional<std::int32_t> activePid;  // when KWin knows the active window's process
};

// Limits: 4 MiB of JSON, nested 1,024 deep (Qt's parser), keys of 64 characters, texts cut at
// 16 Ki characters; nullopt for a larger report or one that is not a JSON object. A window
// without a key, or with neither a valid process nor an X11 window, is left out.
std::optional<Report> readReport(const QByteArray& json);

}  // namespace dozewick::kwin
