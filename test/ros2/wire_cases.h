#pragma once

// The payloads of test/data/ros2_wire_cases.txt by name, and the sample of every message case:
// its payload decoded as the type given here. Used by the encoding tests, the cross-process test
// and ros2_test_peer.

#include <cctype>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ros2/cdr.h"
#include "ros2/msg/action_msgs.h"
#include "ros2/msg/control_msgs.h"
#include "ros2/msg/geometry_msgs.h"
#include "ros2/msg/rcl_interfaces.h"
#include "ros2/msg/rmw_dds_common.h"
#include "ros2/msg/sensor_msgs.h"
#include "ros2/msg/std_msgs.h"
#include "ros2/msg/trajectory_msgs.h"

namespace ros2_test {

using Bytes = std::vector<uint8_t>;

// Bytes from hex numbers separated by white space.
inline Bytes hex(const std::string& text) {
  Bytes out;
  std::istringstream in(text);
  for (unsigned v; in >> std::hex >> v;) out.push_back(static_cast<uint8_t>(v));
  return out;
}

template <class T>
Bytes encode(const T& msg) {
  Bytes out;
  ros2::cdr::serialize(msg, out);
  return out;
}

// The payload with ROS 2's trailing zero padding to a multiple of 4.
inline Bytes padded(Bytes b) {
  b.resize((b.size() + 3) / 4 * 4, 0);
  return b;
}

// The cases of the data file, without the padding: a name line, then indented lines of hex.
inline const std::map<std::string, Bytes>& wire_cases() {
  static const std::map<std::string, Bytes> cases = [] {
    std::map<std::string, Bytes> out;
    std::ifstream in(ROS2_WIRE_CASES_FILE);
    std::string line, name;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      if (std::isspace(static_cast<unsigned char>(line[0]))) {
        const Bytes more = hex(line);
        out[name].insert(out[name].end(), more.begin(), more.end());
      } else {
        out[name = line.substr(0, line.find(' '))];
      }
    }
    return out;
  }();
  return cases;
}
inline const Bytes& wire(const std::string& name) { return wire_cases().at(name); }

template <class T>
T decoded(const Bytes& payload) {
  T msg;
  ros2::cdr::deserialize(payload.data(), payload.size(), msg);
  return msg;
}

template <class T>
constexpr T* type = nullptr;

// Calls visit(name, sample) for every message case; names are valid topic names.
template <class Visit>
void for_each_wire_case(Visit&& visit) {
  using namespace std_msgs::msg;
  using namespace geometry_msgs::msg;
  using namespace trajectory_msgs::msg;
  using namespace rcl_interfaces::msg;
  using FJT = control_msgs::action::FollowJointTrajectory;
  const auto v = [&](auto* t, const char* name) {
    visit(name, decoded<std::remove_pointer_t<decltype(t)>>(wire(name)));
  };
  v(type<Float64MultiArray>, "float64_multi_array");
  v(type<Int32MultiArray>, "int32_multi_array");
  v(type<Bool>, "bool");
  v(type<String>, "string");
  v(type<sensor_msgs::msg::JointState>, "joint_state");
  v(type<Pose>, "pose");
  v(type<builtin_interfaces::msg::Time>, "time");
  v(type<builtin_interfaces::msg::Duration>, "duration");
  v(type<unique_identifier_msgs::msg::UUID>, "uuid");
  v(type<std_msgs::msg::Header>, "header");
  v(type<MultiArrayDimension>, "dimension");
  v(type<MultiArrayLayout>, "layout");
  v(type<String>, "empty_string");
  v(type<Point>, "point");
  v(type<Quaternion>, "quaternion");
  v(type<Vector3>, "vector3");
  v(type<Transform>, "transform");
  v(type<Twist>, "twist");
  v(type<JointTrajectoryPoint>, "joint_trajectory_point");
  v(type<JointTrajectory>, "joint_trajectory");
  v(type<MultiDOFJointTrajectoryPoint>, "multi_dof_point");
  v(type<MultiDOFJointTrajectory>, "multi_dof_trajectory");
  v(type<control_msgs::msg::JointTolerance>, "joint_tolerance");
  v(type<control_msgs::msg::JointComponentTolerance>, "component_tolerance");
  v(type<FJT::Goal>, "fjt_goal");
  v(type<FJT::Result>, "fjt_result");
  v(type<FJT::Feedback>, "fjt_feedback");
  v(type<FJT::Impl::FeedbackMessage>, "fjt_feedback_message");
  v(type<action_msgs::msg::GoalStatusArray>, "goal_status_array");
  v(type<action_msgs::msg::GoalInfo>, "goal_info");
  v(type<Log>, "log");
  v(type<ParameterValue>, "parameter_value");
  v(type<ParameterDescriptor>, "parameter_descriptor");
  v(type<ParameterEvent>, "parameter_event");
  v(type<rmw_dds_common::msg::ParticipantEntitiesInfo>, "participant_entities_info");
}

}  // namespace ros2_test
