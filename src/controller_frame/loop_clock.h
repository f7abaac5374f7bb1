#pragma once

#include <chrono>

namespace brenvik {

// The monotonic time base of the control loop. Interpolator::run reads it and sleeps on it; tests
// put a fake in its place so that run advances without sleeping. Used by the control thread only.
class LoopClock {
 public:
  virtual ~LoopClock() = default;
  // Monotonic time since an arbitrary fixed origin.
  virtual std::chrono::nanoseconds now() = 0;
  // Returns at or after the absolute time `deadline` (same origin as now()).
  virtual void sleepUntil(std::chrono::nanoseconds deadline) = 0;
};

}  // namespace brenvik
