#pragma once

#include <string>
#include <string_view>

namespace dozewick {

// Canonical decomposition (NFD) of UTF-8 text; invalid bytes become U+FFFD.
std::u32string canonicalDecomposition(std::string_view utf8);

// Exact, case-sensitive equality of two UTF-8 strings up to canonical equivalence.
bool canonicallyEqual(std::string_view a, std::string_view b);

}  // namespace dozewick
