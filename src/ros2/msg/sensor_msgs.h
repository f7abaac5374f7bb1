#pragma once

#include <string>
#include <vector>

#include "ros2/msg/std_msgs.h"
#include "ros2/type_support.h"

namespace sensor_msgs::msg {

struct JointState {
  std_msgs::msg::Header header;
  std::vector<std::string> name;
  std::vector<double> position;
  std::vector<double> velocity;
  std::vector<double> effort;
  ROS2_MESSAGE_POINTERS(JointState);
};
ROS2_FIELDS(JointState, header, name, position, velocity, effort)

}  // namespace sensor_msgs::msg

ROS2_TYPE_SUPPORT(sensor_msgs::msg::JointState, sensor_msgs_msg_dds__JointState_)
