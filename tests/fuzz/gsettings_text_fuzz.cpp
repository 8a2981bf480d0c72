// Fuzzing the reading of the enabled extensions as gsettings prints them, and the list written
// back with one more, read the same.
#include <cstdint>

#include "fuzz/fuzz.h"
#include "platform/gnome/gnome_extension.h"

using dozewick::fuzz::require;
using namespace dozewick::gnome;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
  if (auto items = parseStringArray(text)) {
    *items << QString::fromLatin1(kExtensionUuid);
    require(parseStringArray(formatStringArray(*items)) == items,
            "the list written reads the same");
  }
  // Any names may stand in the list; none holds a NUL.
  const QStringList names = QString(text).remove(QChar(0)).split(u'\x1F');
  require(parseStringArray(formatStringArray(names)) == names, "any names read back the same");
  return 0;
}
