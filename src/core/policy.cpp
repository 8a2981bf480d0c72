// The policy's adjustable values: the idle time, the protected places, the applications kept.
#include "core/policy.h"

#include <algorithm>

#include "core/unicode.h"

namespace dozewick {

bool isNeverHidden(std::string_view appName, const std::vector<std::string>& neverHide) {
  return std::any_of(neverHide.begin(), neverHide.end(), [appName](const std::string& name) {
    return canonicallyEqual(appName, name);
  });
}

}  // namespace dozewick
