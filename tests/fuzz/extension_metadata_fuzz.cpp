// Fuzzing the reader of an installed extension's metadata.json, which decides whether a folder
// in the extension's place is Dozewick's own and may be replaced.
#include <cstdint>

#include "platform/gnome/gnome_extension.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  dozewick::gnome::ownMetadataVersion(
      QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
  return 0;
}
