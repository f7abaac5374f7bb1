#pragma once

#include <functional>
#include <vector>

#include "controller_frame/loop_clock.h"

namespace brenvik::testing {

// A loop clock that never sleeps: sleepUntil jumps the time to the deadline. Work time is
// simulated with advance(). Records every deadline and the time each sleep returned; on_sleep
// runs after each sleep (for instance to request the loop's exit). One thread only.
class FakeLoopClock : public LoopClock {
 public:
  explicit FakeLoopClock(std::chrono::nanoseconds start = std::chrono::seconds(100)) : now_(start) {
    deadlines.reserve(1 << 16);
  }

  std::chrono::nanoseconds now() override { return now_; }
  void sleepUntil(std::chrono::nanoseconds deadline) override {
    deadlines.push_back(deadline);
    if (deadline > now_) {
      now_ = deadline;
    }
    if (on_sleep) {
      on_sleep();
    }
  }
  void advance(std::chrono::nanoseconds d) { now_ += d; }

  std::vector<std::chrono::nanoseconds> deadlines;
  std::function<void()> on_sleep;

 private:
  std::chrono::nanoseconds now_;
};

}  // namespace brenvik::testing
