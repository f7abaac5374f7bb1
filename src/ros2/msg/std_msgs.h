#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ros2/msg/builtin_interfaces.h"
#include "ros2/type_support.h"

namespace std_msgs::msg {

struct Header {
  builtin_interfaces::msg::Time stamp;
  std::string frame_id;
  ROS2_MESSAGE_POINTERS(Header);
};
ROS2_FIELDS(Header, stamp, frame_id)

struct String {
  std::string data;
  ROS2_MESSAGE_POINTERS(String);
};
ROS2_FIELDS(String, data)

struct Bool {
  bool data = false;
  ROS2_MESSAGE_POINTERS(Bool);
};
ROS2_FIELDS(Bool, data)

struct MultiArrayDimension {
  std::string label;
  uint32_t size = 0;
  uint32_t stride = 0;
  ROS2_MESSAGE_POINTERS(MultiArrayDimension);
};
ROS2_FIELDS(MultiArrayDimension, label, size, stride)

struct MultiArrayLayout {
  std::vector<MultiArrayDimension> dim;
  uint32_t data_offset = 0;
  ROS2_MESSAGE_POINTERS(MultiArrayLayout);
};
ROS2_FIELDS(MultiArrayLayout, dim, data_offset)

struct Float64MultiArray {
  MultiArrayLayout layout;
  std::vector<double> data;
  ROS2_MESSAGE_POINTERS(Float64MultiArray);
};
ROS2_FIELDS(Float64MultiArray, layout, data)

struct Int32MultiArray {
  MultiArrayLayout layout;
  std::vector<int32_t> data;
  ROS2_MESSAGE_POINTERS(Int32MultiArray);
};
ROS2_FIELDS(Int32MultiArray, layout, data)

}  // namespace std_msgs::msg

ROS2_TYPE_SUPPORT(std_msgs::msg::Header, std_msgs_msg_dds__Header_)
ROS2_TYPE_SUPPORT(std_msgs::msg::String, std_msgs_msg_dds__String_)
ROS2_TYPE_SUPPORT(std_msgs::msg::Bool, std_msgs_msg_dds__Bool_)
ROS2_TYPE_SUPPORT(std_msgs::msg::MultiArrayDimension, std_msgs_msg_dds__MultiArrayDimension_)
ROS2_TYPE_SUPPORT(std_msgs::msg::MultiArrayLayout, std_msgs_msg_dds__MultiArrayLayout_)
ROS2_TYPE_SUPPORT(std_msgs::msg::Float64MultiArray, std_msgs_msg_dds__Float64MultiArray_)
ROS2_TYPE_SUPPORT(std_msgs::msg::Int32MultiArray, std_msgs_msg_dds__Int32MultiArray_)
