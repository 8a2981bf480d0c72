// Fuzzing the reader of the preferences file: its lines and values, and every value written
// read back the same.
#include <cstdint>

#include "fuzz/fuzz.h"
#include "localization/preferences_file.h"

using dozewick::fuzz::require;
using namespace dozewick::preferences_text;

namespace {

// What the file would hold after the items were saved under a key, read back.
std::optional<QStringList> savedAndRead(const QStringList& items) {
  QStringList encoded;
  for (const QString& item : items)
    encoded << encodeItem(item);
  const auto lines = parseLines(("key=" + encoded.join(", ") + '\n').toUtf8());
  require(lines && lines->size() == 1, "a saved value is one line of a readable file");
  return decodeItems(lines->front().mid(4));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  if (const auto lines = parseLines(bytes)) {
    for (const QString& line : *lines) {
      const qsizetype equals = line.indexOf('=');
      const auto items = equals > 0 ? decodeItems(line.mid(equals + 1)) : std::nullopt;
      if (items)
        require(savedAndRead(*items) == items, "a value read and saved again reads the same");
    }
  }
  // Any text may be set as a value (languages come from the environment).
  const QStringList items = QString::fromUtf8(bytes).split(u'\x1F');
  require(savedAndRead(items) == items, "a value saved reads back the same");
  return 0;
}
