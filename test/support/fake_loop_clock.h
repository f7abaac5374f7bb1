#pragma once

#include <algorithm>
#include <functional>
#include <vector>

#include "controller_frame/loop_clock.h"

namespace brenvik::testing {

// A loop clock that never sleeps: sleepUntil jumps to the deadline (recorded), then runs on_sleep;
// advance() spends work time. One thread only.
class FakeLoopClock : public LoopClock {
 public:
  explicit FakeLoopClock(std::chrono::nanoseconds start = std::chrono::seconds(100))
      : now_(start) {}
  std::chrono::nanoseconds now() override { return now_; }
  void sleepUntil(std::chrono::nanoseconds deadline) override {
    deadlines.push_back(deadline);
    now_ = std::max(now_, deadline);
    if (on_sleep) on_sleep();
  }
  void advance(std::chrono::nanoseconds d) { now_ += d; }

  std::vector<std::chrono::nanoseconds> deadlines;
  std::function<void()> on_sleep;

 private:
  std::chrono::nanoseconds now_;
};

}  // namespace brenvik::testing
