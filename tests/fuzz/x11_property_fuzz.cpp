// Fuzzing the decoders of X server replies: GetProperty (type, format, length, value) and
// X-Resource's QueryClientIds, read by every decoder the X11 backend applies to them.
#include <xcb/xcb.h>

#include <QStringDecoder>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz/fuzz.h"
#include "platform/x11/xcb_property.h"
#include "platform/xres/client_process.h"

namespace {

using namespace dozewick;
using fuzz::require;

// Atoms as a server hands them out after its predefined ones (up to 68).
xcb::Atoms atoms() {
  xcb::Atoms atoms;
  std::uint32_t next = 300;
  for (const xcb::AtomName& name : xcb::kAtomNames)
    atoms.*(name.member) = next++;
  return atoms;
}

// Checked by Qt's decoder, apart from the one under test; a byte order mark is text too.
bool isValidUtf8(const std::string& text) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
  const QString decoded = decoder(QByteArrayView(text.data(), qsizetype(text.size())));
  return !decoder.hasError();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const xcb::Atoms kAtoms = atoms();
  const std::span<const std::uint8_t> reply(data, size);
  const xcb::PropertyValue value = xcb::propertyValue(reply);
  if (!value.bytes.empty()) {
    require(
        value.bytes.data() >= data + 32 && value.bytes.data() + value.bytes.size() <= data + size,
        "the value lies within the reply");
  }
  for (const auto& text : {xcb::textValue(value, kAtoms), xcb::wmClassName(value, kAtoms)}) {
    require(!text || (isValidUtf8(*text) && text->size() <= 3 * value.bytes.size()),
            "texts are valid UTF-8, at most three bytes for each byte read");
  }
  // The properties and the types each is read as (X11 backend and desktop).
  for (const std::uint32_t type : {XCB_ATOM_ATOM, XCB_ATOM_CARDINAL, XCB_ATOM_WINDOW}) {
    const auto list = xcb::card32List(value, type);
    require(!list || list->size() == value.bytes.size() / 4, "a list holds what arrived");
    require(xcb::firstCard32(value, type).has_value() == (list && !list->empty()),
            "the first value is the list's first");
    xcb::windowType(list, kAtoms);
  }
  xcb::wmStateIconic(value, kAtoms);
  const auto pid = xres::localClientPid(reply);
  require(!pid || *pid > 0, "a process id is positive");
  return 0;
}
