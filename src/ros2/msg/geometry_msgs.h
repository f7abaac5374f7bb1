#pragma once

#include "ros2/type_support.h"

namespace geometry_msgs::msg {

struct Point {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  ROS2_MESSAGE_POINTERS(Point);
};
ROS2_FIELDS(Point, x, y, z)

// The identity rotation by default, as in the message definition.
struct Quaternion {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  double w = 1.0;
  ROS2_MESSAGE_POINTERS(Quaternion);
};
ROS2_FIELDS(Quaternion, x, y, z, w)

struct Pose {
  Point position;
  Quaternion orientation;
  ROS2_MESSAGE_POINTERS(Pose);
};
ROS2_FIELDS(Pose, position, orientation)

struct Vector3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  ROS2_MESSAGE_POINTERS(Vector3);
};
ROS2_FIELDS(Vector3, x, y, z)

struct Transform {
  Vector3 translation;
  Quaternion rotation;
  ROS2_MESSAGE_POINTERS(Transform);
};
ROS2_FIELDS(Transform, translation, rotation)

struct Twist {
  Vector3 linear;
  Vector3 angular;
  ROS2_MESSAGE_POINTERS(Twist);
};
ROS2_FIELDS(Twist, linear, angular)

}  // namespace geometry_msgs::msg

ROS2_TYPE_SUPPORT(geometry_msgs::msg::Point, geometry_msgs_msg_dds__Point_)
ROS2_TYPE_SUPPORT(geometry_msgs::msg::Quaternion, geometry_msgs_msg_dds__Quaternion_)
ROS2_TYPE_SUPPORT(geometry_msgs::msg::Pose, geometry_msgs_msg_dds__Pose_)
ROS2_TYPE_SUPPORT(geometry_msgs::msg::Vector3, geometry_msgs_msg_dds__Vector3_)
ROS2_TYPE_SUPPORT(geometry_msgs::msg::Transform, geometry_msgs_msg_dds__Transform_)
ROS2_TYPE_SUPPORT(geometry_msgs::msg::Twist, geometry_msgs_msg_dds__Twist_)
