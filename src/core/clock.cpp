// Wall-clock time for the policy.
#include "core/clock.h"

#include <chrono>

namespace dozewick {

double SystemClock::now() const {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

double SteadyClock::now() const {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace dozewick
