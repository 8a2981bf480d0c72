// Decoding of what the X server hands back, checked against the bytes that arrived.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/desktop_model.h"
#include "platform/x11/xcb_atoms.h"

// Decoding of what the X server hands back. Pure functions over bytes: every length field in a
// reply is checked against the bytes that really arrived, so that no value another client stored
// can make the program read out of bounds.
// Limits: as much as was asked for (titles 16 KiB, WM_CLASS 1 KiB, atom lists 64, window lists
// 1,024), read only as far as the reply holds it; any type, format and length is a clear result.
namespace dozewick::xcb {

// A property's value, bounded by the bytes that the reply really holds.
struct PropertyValue {
  std::uint32_t type = 0;  // 0 (None) when the property does not exist
  std::uint8_t format = 0;
  std::span<const std::uint8_t> bytes;
  bool truncated = false;  // the server kept more than was asked for
};

// Reads a GetProperty reply laid out as on the wire; `reply` is the whole reply as received.
PropertyValue propertyValue(std::span<const std::uint8_t> reply);

// The first 32-bit value of the given type, whatever follows it (some window managers store more
// than the one value a property holds); nullopt on a wrong type or format, or no value at all.
std::optional<std::uint32_t> firstCard32(const PropertyValue& value, std::uint32_t type);

// A list of 32-bit values of the given type; nullopt on a wrong type or format.
std::optional<std::vector<std::uint32_t>> card32List(const PropertyValue& value,
                                                     std::uint32_t type);

// A window title from _NET_WM_NAME or WM_NAME, as valid UTF-8; nullopt when the property is
// missing or not text.
std::optional<std::string> textValue(const PropertyValue& value, const Atoms& atoms);

// The class part of WM_CLASS ("instance\0class\0"); nullopt when missing or empty.
std::optional<std::string> wmClassName(const PropertyValue& value, const Atoms& atoms);

// True when WM_STATE says Iconic; nullopt when WM_STATE is missing or malformed.
std::optional<bool> wmStateIconic(const PropertyValue& value, const Atoms& atoms);

// What a window is by its _NET_WM_WINDOW_TYPE, whose types come in order of preference: ordinary
// without a type, for NORMAL and DIALOG; unknown when it names no type this program knows.
WindowType windowType(const std::optional<std::vector<std::uint32_t>>& types, const Atoms& atoms);

// UTF-8 with every ill-formed subsequence replaced by U+FFFD.
std::string utf8Lossy(std::string_view bytes);

// ISO 8859-1 to UTF-8.
std::string latin1ToUtf8(std::string_view bytes);

}  // namespace dozewick::xcb
