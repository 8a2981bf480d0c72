// The backend where none fits the session: no windows, and Dozewick says what it needs.
#include "platform/none/none_backend.h"

namespace dozewick {

std::optional<std::vector<AccessibleWindow>> NoneBackend::NoWindows::applicationWindows(
    std::int32_t) {
  return std::nullopt;
}

}  // namespace dozewick
