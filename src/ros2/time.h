#pragma once

// Wall-clock time stamps as ROS 2's system clock gives them.

#include <chrono>
#include <cstdint>
#include <memory>

#include "ros2/msg/builtin_interfaces.h"

namespace ros2 {

enum class ClockType { SystemTime, SteadyTime };
// rcl's names for the clock types.
inline constexpr ClockType RCL_SYSTEM_TIME = ClockType::SystemTime;
inline constexpr ClockType RCL_STEADY_TIME = ClockType::SteadyTime;

class Time {
 public:
  Time() = default;
  explicit Time(int64_t nanoseconds) : ns_(nanoseconds) {}
  Time(int32_t sec, uint32_t nanosec) : ns_(int64_t{sec} * 1000000000 + nanosec) {}
  Time(const builtin_interfaces::msg::Time& t) : Time(t.sec, t.nanosec) {}  // NOLINT

  int64_t nanoseconds() const { return ns_; }
  double seconds() const { return static_cast<double>(ns_) * 1e-9; }

  operator builtin_interfaces::msg::Time() const {  // NOLINT
    builtin_interfaces::msg::Time t;
    int64_t sec = ns_ / 1000000000;
    int64_t rem = ns_ % 1000000000;
    if (rem < 0) {
      rem += 1000000000;
      --sec;
    }
    t.sec = static_cast<int32_t>(sec);
    t.nanosec = static_cast<uint32_t>(rem);
    return t;
  }

 private:
  int64_t ns_ = 0;
};

class Clock {
 public:
  using SharedPtr = std::shared_ptr<Clock>;
  explicit Clock(ClockType type = ClockType::SystemTime) : type_(type) {}

  Time now() const {
    if (type_ == ClockType::SteadyTime) {
      return Time(std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count());
    }
    return Time(std::chrono::duration_cast<std::chrono::nanoseconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count());
  }
  ClockType get_clock_type() const { return type_; }

 private:
  ClockType type_;
};

}  // namespace ros2
