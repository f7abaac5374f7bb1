#pragma once

#include <cstdint>
#include <string>

#include "ros2/msg/builtin_interfaces.h"
#include "ros2/type_support.h"

namespace rcl_interfaces::msg {

// One log line as published on /rosout.
struct Log {
  static constexpr uint8_t DEBUG = 10;
  static constexpr uint8_t INFO = 20;
  static constexpr uint8_t WARN = 30;
  static constexpr uint8_t ERROR = 40;
  static constexpr uint8_t FATAL = 50;

  builtin_interfaces::msg::Time stamp;
  uint8_t level = 0;
  std::string name;  // logger name
  std::string msg;   // text, without a trailing newline
  std::string file;  // where the line was logged
  std::string function;
  uint32_t line = 0;
  ROS2_MESSAGE_POINTERS(Log);
};
ROS2_FIELDS(Log, stamp, level, name, msg, file, function, line)

}  // namespace rcl_interfaces::msg

ROS2_TYPE_SUPPORT(rcl_interfaces::msg::Log, rcl_interfaces_msg_dds__Log_)
