#pragma once

// The latest sample of each of the controller's eight status topics.

#include <array>
#include <cstddef>

#include "ros2/msg/geometry_msgs.h"
#include "ros2/msg/sensor_msgs.h"
#include "ros2/msg/std_msgs.h"

namespace brenvikctl {

enum StatusTopic : size_t {
  kActualJoint,
  kReferenceJoint,
  kEnableFlag,
  kTorqueEstimate,
  kIsCollision,
  kTcpPose,
  kCollisionData,
  kUnnormalFlag,
  kStatusTopicCount
};

// Topic names as the controller publishes them (relative: resolved in the node's namespace).
inline constexpr const char* kStatusTopicNames[kStatusTopicCount] = {
    "current_actual_joint", "current_reference_joint",
    "enable_flag",          "dynamic_torque_estimate",
    "is_collision_flag",    "tcp_pose",
    "collision_data",       "unnormal_flag"};

struct StatusSnapshot {
  sensor_msgs::msg::JointState actual;     // measured joints: rad, rad/s, drive torque
  sensor_msgs::msg::JointState reference;  // commanded joints: rad, rad/s
  bool enabled = false;
  std::vector<double> torque_estimate;  // one per axis, drive torque unit
  bool collision = false;
  geometry_msgs::msg::Pose tcp_pose;  // m, unit quaternion, base frame
  std::vector<double> collision_data;
  bool unnormal = false;                           // the controller's error flag
  std::array<size_t, kStatusTopicCount> counts{};  // samples received per topic

  bool has(StatusTopic topic) const { return counts[topic] > 0; }
};

}  // namespace brenvikctl
