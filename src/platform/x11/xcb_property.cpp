// Decoding of what the X server hands back, checked against the bytes that arrived.
#include "platform/x11/xcb_property.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstring>

namespace dozewick::xcb {

namespace {

constexpr std::size_t kReplyHeader = 32;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr std::uint32_t kIconicState = 3;

std::uint32_t load32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

std::string_view asChars(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Drops an incomplete UTF-8 sequence at the end of a value the server cut short, so that the cut
// does not show as a replacement character.
std::string_view withoutCutSequence(std::string_view text) {
  std::size_t back = 0;
  while (back < 3 && back < text.size() &&
         (static_cast<unsigned char>(text[text.size() - 1 - back]) & 0xC0) == 0x80) {
    ++back;
  }
  if (back >= text.size()) {
    return text;
  }
  const auto lead = static_cast<unsigned char>(text[text.size() - 1 - back]);
  std::size_t expected = 1;
  if (lead >= 0xF0) {
    expected = 4;
  } else if (lead >= 0xE0) {
    expected = 3;
  } else if (lead >= 0xC0) {
    expected = 2;
  }
  if (lead >= 0xC0 && back + 1 < expected) {
    text.remove_suffix(back + 1);
  }
  return text;
}

std::string_view untilNul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

bool isValidUtf8(std::string_view text) {
  return utf8Lossy(text) == text;
}

// ICCCM says STRING is Latin-1, but many clients store UTF-8 there; text that is valid UTF-8 is
// almost never meant as Latin-1.
std::string legacyString(std::string_view text) {
  return isValidUtf8(text) ? std::string(text) : latin1ToUtf8(text);
}

// Compound text without escape sequences is Latin-1; other character sets are not decoded.
std::string compoundText(std::string_view text) {
  if (text.find('\x1B') == std::string_view::npos) {
    return latin1ToUtf8(text);
  }
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == 0x1B) {
      // An escape sequence: intermediate bytes 0x20-0x2F, then one final byte.
      ++i;
      while (i < text.size() && static_cast<unsigned char>(text[i]) >= 0x20 &&
             static_cast<unsigned char>(text[i]) <= 0x2F) {
        ++i;
      }
    } else if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (out.size() < kReplacement.size() || !out.ends_with(kReplacement)) {
      out.append(kReplacement);
    }
  }
  return out;
}

}  // namespace

PropertyValue propertyValue(std::span<const std::uint8_t> reply) {
  PropertyValue value;
  if (reply.size() < kReplyHeader) {
    return value;
  }
  const std::uint8_t format = reply[1];
  value.type = load32(reply, 8);
  const std::uint32_t bytesAfter = load32(reply, 12);
  const std::uint32_t count = load32(reply, 16);
  if (value.type == XCB_NONE || (format != 8 && format != 16 && format != 32)) {
    return value;
  }
  const std::size_t unit = format / 8;
  const std::uint64_t declared = std::uint64_t{count} * unit;
  std::uint64_t available = reply.size() - kReplyHeader;
  available -= available % unit;
  value.format = format;
  value.bytes =
      reply.subspan(kReplyHeader, static_cast<std::size_t>(std::min(declared, available)));
  value.truncated = bytesAfter != 0 || declared > available;
  return value;
}

std::optional<std::uint32_t> firstCard32(const PropertyValue& value, std::uint32_t type) {
  if (value.type != type || value.format != 32 || value.bytes.size() < 4) {
    return std::nullopt;
  }
  return load32(value.bytes, 0);
}

std::optional<std::vector<std::uint32_t>> card32List(const PropertyValue& value,
                                                     std::uint32_t type) {
  if (value.type != type || value.format != 32) {
    return std::nullopt;
  }
  std::vector<std::uint32_t> list(value.bytes.size() / 4);
  for (std::size_t i = 0; i < list.size(); ++i) {
    list[i] = load32(value.bytes, i * 4);
  }
  return list;
}

std::optional<std::string> textValue(const PropertyValue& value, const Atoms& atoms) {
  if (value.format != 8) {
    return std::nullopt;
  }
  std::string_view text = untilNul(asChars(value.bytes));
  if (value.type == atoms.utf8String) {
    return utf8Lossy(value.truncated ? withoutCutSequence(text) : text);
  }
  if (value.type == XCB_ATOM_STRING) {
    return legacyString(value.truncated ? withoutCutSequence(text) : text);
  }
  if (value.type == atoms.compoundText) {
    return compoundText(text);
  }
  return std::nullopt;
}

std::optional<std::string> wmClassName(const PropertyValue& value, const Atoms& atoms) {
  if (value.format != 8 || (value.type != XCB_ATOM_STRING && value.type != atoms.utf8String)) {
    return std::nullopt;
  }
  const std::string_view all = asChars(value.bytes);
  const std::size_t separator = all.find('\0');
  if (separator == std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view className = untilNul(all.substr(separator + 1));
  if (className.empty()) {
    return std::nullopt;
  }
  return value.type == atoms.utf8String ? utf8Lossy(className) : legacyString(className);
}

std::optional<bool> wmStateIconic(const PropertyValue& value, const Atoms& atoms) {
  // state and icon window; anything after them is not ours to judge
  if (value.type != atoms.wmState || value.format != 32 || value.bytes.size() < 8) {
    return std::nullopt;
  }
  return load32(value.bytes, 0) == kIconicState;
}

WindowType windowType(const std::optional<std::vector<std::uint32_t>>& types, const Atoms& atoms) {
  if (!types) {
    return WindowType::ordinary;
  }
  const std::uint32_t ordinary[] = {atoms.netWmWindowTypeNormal, atoms.netWmWindowTypeDialog};
  const std::uint32_t other[] = {
      atoms.netWmWindowTypeDesktop,      atoms.netWmWindowTypeDock,
      atoms.netWmWindowTypeToolbar,      atoms.netWmWindowTypeMenu,
      atoms.netWmWindowTypeUtility,      atoms.netWmWindowTypeSplash,
      atoms.netWmWindowTypeDropdownMenu, atoms.netWmWindowTypePopupMenu,
      atoms.netWmWindowTypeCombo,        atoms.netWmWindowTypeTooltip,
      atoms.netWmWindowTypeNotification, atoms.netWmWindowTypeDnd,
  };
  // EWMH: the first type known decides.
  bool named = false;
  for (const std::uint32_t type : *types) {
    if (type == XCB_NONE) {
      continue;
    }
    named = true;
    if (std::find(std::begin(ordinary), std::end(ordinary), type) != std::end(ordinary)) {
      return WindowType::ordinary;
    }
    if (std::find(std::begin(other), std::end(other), type) != std::end(other)) {
      return WindowType::other;
    }
  }
  return named ? WindowType::unknown : WindowType::ordinary;
}

std::string utf8Lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      out.push_back(static_cast<char>(lead));
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      low = lead == 0xE0 ? 0xA0 : 0x80;
      high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      low = lead == 0xF0 ? 0x90 : 0x80;
      high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    if (length == 0) {
      out.append(kReplacement);
      ++i;
      continue;
    }
    std::size_t valid = 1;
    while (valid < length && i + valid < bytes.size()) {
      const auto next = static_cast<unsigned char>(bytes[i + valid]);
      const unsigned char min = valid == 1 ? low : 0x80;
      const unsigned char max = valid == 1 ? high : 0xBF;
      if (next < min || next > max) {
        break;
      }
      ++valid;
    }
    if (valid == length) {
      out.append(bytes.substr(i, length));
    } else {
      out.append(kReplacement);
    }
    i += valid;
  }
  return out;
}

std::string latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x80) {
      out.push_back(c);
    } else {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

}  // namespace dozewick::xcb
