// Wall-clock time for the policy.
#pragma once

namespace dozewick {

// Wall-clock time in seconds since the epoch, with fractions.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual double now() const = 0;
};

class SystemClock final : public Clock {
 public:
  double now() const override;
};

// Seconds that only go forward, from an unspecified start: for waiting, not for dates.
class SteadyClock final : public Clock {
 public:
  double now() const override;
};

}  // namespace dozewick
