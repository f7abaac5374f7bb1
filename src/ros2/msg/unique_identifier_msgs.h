#pragma once

#include <array>
#include <cstdint>

#include "ros2/type_support.h"

namespace unique_identifier_msgs::msg {

struct UUID {
  std::array<uint8_t, 16> uuid{};
  ROS2_MESSAGE_POINTERS(UUID);
};
ROS2_FIELDS(UUID, uuid)

}  // namespace unique_identifier_msgs::msg

ROS2_TYPE_SUPPORT(unique_identifier_msgs::msg::UUID, unique_identifier_msgs_msg_dds__UUID_)
