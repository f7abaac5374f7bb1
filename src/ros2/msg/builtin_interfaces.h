#pragma once

#include <cstdint>

#include "ros2/type_support.h"

namespace builtin_interfaces::msg {

struct Time {
  int32_t sec = 0;
  uint32_t nanosec = 0;
  ROS2_MESSAGE_POINTERS(Time);
};
ROS2_FIELDS(Time, sec, nanosec)

struct Duration {
  int32_t sec = 0;
  uint32_t nanosec = 0;
  ROS2_MESSAGE_POINTERS(Duration);
};
ROS2_FIELDS(Duration, sec, nanosec)

inline bool operator==(const Time& a, const Time& b) {
  return a.sec == b.sec && a.nanosec == b.nanosec;
}
inline bool operator==(const Duration& a, const Duration& b) {
  return a.sec == b.sec && a.nanosec == b.nanosec;
}

}  // namespace builtin_interfaces::msg

ROS2_TYPE_SUPPORT(builtin_interfaces::msg::Time, builtin_interfaces_msg_dds__Time_)
ROS2_TYPE_SUPPORT(builtin_interfaces::msg::Duration, builtin_interfaces_msg_dds__Duration_)
