#pragma once

#include <string>
#include <vector>

#include "ros2/msg/builtin_interfaces.h"
#include "ros2/msg/geometry_msgs.h"
#include "ros2/msg/std_msgs.h"
#include "ros2/type_support.h"

namespace trajectory_msgs::msg {

struct JointTrajectoryPoint {
  std::vector<double> positions;
  std::vector<double> velocities;
  std::vector<double> accelerations;
  std::vector<double> effort;
  builtin_interfaces::msg::Duration time_from_start;
  ROS2_MESSAGE_POINTERS(JointTrajectoryPoint);
};
ROS2_FIELDS(JointTrajectoryPoint, positions, velocities, accelerations, effort, time_from_start)

struct JointTrajectory {
  std_msgs::msg::Header header;
  std::vector<std::string> joint_names;
  std::vector<JointTrajectoryPoint> points;
  ROS2_MESSAGE_POINTERS(JointTrajectory);
};
ROS2_FIELDS(JointTrajectory, header, joint_names, points)

struct MultiDOFJointTrajectoryPoint {
  std::vector<geometry_msgs::msg::Transform> transforms;
  std::vector<geometry_msgs::msg::Twist> velocities;
  std::vector<geometry_msgs::msg::Twist> accelerations;
  builtin_interfaces::msg::Duration time_from_start;
  ROS2_MESSAGE_POINTERS(MultiDOFJointTrajectoryPoint);
};
ROS2_FIELDS(MultiDOFJointTrajectoryPoint, transforms, velocities, accelerations, time_from_start)

struct MultiDOFJointTrajectory {
  std_msgs::msg::Header header;
  std::vector<std::string> joint_names;
  std::vector<MultiDOFJointTrajectoryPoint> points;
  ROS2_MESSAGE_POINTERS(MultiDOFJointTrajectory);
};
ROS2_FIELDS(MultiDOFJointTrajectory, header, joint_names, points)

}  // namespace trajectory_msgs::msg

ROS2_TYPE_SUPPORT(trajectory_msgs::msg::JointTrajectoryPoint,
                  trajectory_msgs_msg_dds__JointTrajectoryPoint_)
ROS2_TYPE_SUPPORT(trajectory_msgs::msg::JointTrajectory, trajectory_msgs_msg_dds__JointTrajectory_)
ROS2_TYPE_SUPPORT(trajectory_msgs::msg::MultiDOFJointTrajectoryPoint,
                  trajectory_msgs_msg_dds__MultiDOFJointTrajectoryPoint_)
ROS2_TYPE_SUPPORT(trajectory_msgs::msg::MultiDOFJointTrajectory,
                  trajectory_msgs_msg_dds__MultiDOFJointTrajectory_)
