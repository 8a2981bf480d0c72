// Fuzzing the reader of the login item's desktop entry: the file, then its Exec value, and the
// Exec value this program writes for any path read back as that path.
#include <QFileInfo>
#include <cstdint>

#include "fuzz/fuzz.h"
#include "platform/xdg_autostart.h"

using dozewick::fuzz::require;
using namespace dozewick::desktop_entry;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  if (const auto entry = parse(bytes)) {
    if (const auto exec = entry->find("Exec"); exec != entry->end())
      require(!programOfExecValue(exec->second) || !programOfExecValue(exec->second)->isEmpty(),
              "a program is named");
  }
  // A path holds no NUL; the program's own may hold anything else.
  const QString path = QString::fromUtf8(bytes).remove(QChar(0));
  if (QFileInfo(path).isAbsolute()) {
    const auto entry = parse("[Desktop Entry]\nExec=" + execValue(path).toUtf8() + '\n');
    require(entry && programOfExecValue(entry->at("Exec")) == path,
            "the entry written starts the program");
  }
  return 0;
}
