// Fuzzing the reader of the KWin script's reports: JSON text as it arrives over D-Bus.
#include <QSet>
#include <cstdint>

#include "fuzz/fuzz.h"
#include "platform/kwin/kwin_report.h"

using dozewick::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto report =
      dozewick::kwin::readReport(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
  if (!report)
    return 0;
  QSet<QString> keys;
  bool activeListed = !report->activePid;
  for (const auto& [key, window, xid] : report->windows) {
    require(!key.isEmpty() && key.size() <= 64 && !keys.contains(key), "keys are short and unique");
    keys.insert(key);
    require(window.pid > 0 ? xid == 0 : window.pid == 0 && xid > 0,
            "a process id is positive, or an X11 window names the window instead");
    require(window.title->size() <= 3 << 14 && window.application->size() <= 3 << 14,
            "texts are cut at 16 Ki characters");
    activeListed = activeListed || window.pid == *report->activePid;
  }
  require(activeListed, "the active process is a listed window's");
  return 0;
}
