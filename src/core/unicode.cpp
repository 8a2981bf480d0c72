#include "core/unicode.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace dozewick {
namespace {

struct Decomposition {
  char32_t codePoint;
  std::uint32_t offset;
  std::uint8_t length;
};

struct CombiningClassRun {
  char32_t first;
  char32_t last;
  std::uint8_t combiningClass;
};

#include "core/unicode_tables.inc"

constexpr char32_t kReplacement = 0xFFFD;

// Hangul syllables decompose by formula rather than by table.
constexpr char32_t kHangulBase = 0xAC00, kLeadBase = 0x1100, kVowelBase = 0x1161,
                   kTrailBase = 0x11A7;
constexpr char32_t kVowelCount = 21, kTrailCount = 28, kSyllableCount = 11172;

std::uint8_t combiningClass(char32_t c) {
  auto it = std::upper_bound(
      std::begin(kCombiningClasses), std::end(kCombiningClasses), c,
      [](char32_t value, const CombiningClassRun& run) { return value < run.first; });
  if (it == std::begin(kCombiningClasses))
    return 0;
  --it;
  return c <= it->last ? it->combiningClass : 0;
}

void appendDecomposed(char32_t c, std::u32string& out) {
  if (c >= kHangulBase && c < kHangulBase + kSyllableCount) {
    const char32_t index = c - kHangulBase;
    out.push_back(kLeadBase + index / (kVowelCount * kTrailCount));
    out.push_back(kVowelBase + (index % (kVowelCount * kTrailCount)) / kTrailCount);
    if (index % kTrailCount != 0)
      out.push_back(kTrailBase + index % kTrailCount);
    return;
  }
  auto it =
      std::lower_bound(std::begin(kDecompositions), std::end(kDecompositions), c,
                       [](const Decomposition& d, char32_t value) { return d.codePoint < value; });
  if (it != std::end(kDecompositions) && it->codePoint == c) {
    out.append(kDecompositionData + it->offset, it->length);
  } else {
    out.push_back(c);
  }
}

// Decodes one code point; malformed, overlong and surrogate sequences yield U+FFFD and consume
// one byte, so every input ends in finitely many steps.
char32_t decodeNext(std::string_view text, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  std::size_t length = 0;
  char32_t c = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, c = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, c = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, c = lead & 0x07, minimum = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + length > text.size()) {
    ++i;
    return kReplacement;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += length;
  return c;
}

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::u32string canonicalDecomposition(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();)
    appendDecomposed(decodeNext(utf8, i), out);
  // Canonical ordering: combining marks sorted by class within each run of marks.
  for (std::size_t start = 0; start < out.size();) {
    if (combiningClass(out[start]) == 0) {
      ++start;
      continue;
    }
    std::size_t end = start;
    while (end < out.size() && combiningClass(out[end]) != 0)
      ++end;
    std::stable_sort(out.begin() + static_cast<std::ptrdiff_t>(start),
                     out.begin() + static_cast<std::ptrdiff_t>(end),
                     [](char32_t a, char32_t b) { return combiningClass(a) < combiningClass(b); });
    start = end;
  }
  return out;
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
  if (a == b)
    return true;
  // Plain ASCII is its own decomposition.
  if (isAscii(a) && isAscii(b))
    return false;
  return canonicalDecomposition(a) == canonicalDecomposition(b);
}

}  // namespace dozewick
