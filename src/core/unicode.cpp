// Canonical equivalence of UTF-8 texts through ICU's normaliser.
#include "core/unicode.h"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>

namespace dozewick {

namespace {

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

bool canonicallyEqual(std::string_view a, std::string_view b) {
  if (a == b)
    return true;
  // Plain ASCII is its own decomposition: most names and titles never reach ICU.
  if (isAscii(a) && isAscii(b))
    return false;
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
  if (U_FAILURE(status))
    return false;
  const auto decomposed = [&](std::string_view text) {
    return nfd->normalize(
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int>(text.size()))),
        status);
  };
  const icu::UnicodeString first = decomposed(a);
  const icu::UnicodeString second = decomposed(b);
  return U_SUCCESS(status) && first == second;
}

}  // namespace dozewick
