#include "controller_frame/steady_loop_clock.h"

#include <cerrno>
#include <ctime>

namespace brenvik {

std::chrono::nanoseconds SteadyLoopClock::now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

void SteadyLoopClock::sleepUntil(std::chrono::nanoseconds deadline) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(deadline);
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(seconds.count());
  ts.tv_nsec = static_cast<long>((deadline - seconds).count());
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

}  // namespace brenvik
