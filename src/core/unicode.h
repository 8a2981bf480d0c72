// Canonical equivalence of UTF-8 texts, as the window rules compare names and titles.
#pragma once

#include <string_view>

namespace dozewick {

// Exact, case-sensitive equality of two UTF-8 strings up to canonical equivalence (ICU's
// canonical decomposition). Ill-formed bytes count as U+FFFD.
bool canonicallyEqual(std::string_view a, std::string_view b);

}  // namespace dozewick
