#pragma once

#include "controller_frame/loop_clock.h"

namespace brenvik {

// CLOCK_MONOTONIC with absolute-deadline sleeps (clock_nanosleep TIMER_ABSTIME), restarted after
// signal interruptions.
class SteadyLoopClock : public LoopClock {
 public:
  std::chrono::nanoseconds now() override;
  void sleepUntil(std::chrono::nanoseconds deadline) override;
};

}  // namespace brenvik
