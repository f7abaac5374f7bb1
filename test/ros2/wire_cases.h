#pragma once

// One sample of every message type; its exact payload is in test/data/ros2_wire_cases.txt under
// the same name, next to service payloads and damaged payloads ("bad.<name>.<n>"). Used by the
// encoding tests, the topic tests and ros2_test_peer.

#include <cctype>
#include <cstdio>
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

inline std::string dump(const Bytes& b) {
  std::string s;
  char buf[4];
  for (uint8_t v : b) s.append(buf, static_cast<size_t>(std::snprintf(buf, 4, "%02x ", v)));
  return s;
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

// Every case of the data file by name: a name line, then indented lines of hex bytes.
inline const std::map<std::string, Bytes>& wire_cases() {
  static const std::map<std::string, Bytes> cases = [] {
    std::map<std::string, Bytes> out;
    std::ifstream in(ROS2_WIRE_CASES_FILE);
    std::string line, current;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      if (!std::isspace(static_cast<unsigned char>(line[0]))) {
        out[current = line];
        continue;
      }
      const Bytes more = hex(line);
      out[current].insert(out[current].end(), more.begin(), more.end());
    }
    return out;
  }();
  return cases;
}
inline const Bytes& wire(const std::string& name) { return wire_cases().at(name); }

inline unique_identifier_msgs::msg::UUID uuid_from(uint8_t first) {
  unique_identifier_msgs::msg::UUID u;
  for (size_t i = 0; i < 16; ++i) u.uuid[i] = static_cast<uint8_t>(first + i);
  return u;
}

template <class T, class Set>
T with(Set set) {
  T m{};
  set(m);
  return m;
}

// Calls visit(name, message) for every message case; names are valid topic names.
template <class Visit>
void for_each_wire_case(Visit&& visit) {
  using namespace std_msgs::msg;
  using namespace geometry_msgs::msg;
  using namespace trajectory_msgs::msg;
  using namespace rcl_interfaces::msg;
  using FJT = control_msgs::action::FollowJointTrajectory;
  visit("float64_multi_array",
        Float64MultiArray{{{{"points", 4, 24}, {"values", 6, 6}}, 0}, {0.5, 1.5}});
  visit("int32_multi_array", Int32MultiArray{{}, {2, 1}});
  visit("bool", Bool{true});
  visit("string", String{"hello"});
  visit("joint_state", with<sensor_msgs::msg::JointState>([](auto& m) {
          m.header = {{12, 345}, "base_link"};
          m.name = {"joint1", "joint2", "joint3"};
          m.position = {0.1, 0.2, 0.3};
          m.velocity = {0, 0, 0};
          m.effort = {1, 2, 3};
        }));
  visit("pose", Pose{{1, 2, 3}, {}});
  visit("time", builtin_interfaces::msg::Time{1, 2});
  visit("duration", builtin_interfaces::msg::Duration{-1, 5});
  visit("uuid", uuid_from(0));
  visit("header", std_msgs::msg::Header{{1, 2}, "a"});
  visit("dimension", MultiArrayDimension{"x", 3, 4});
  visit("layout", MultiArrayLayout{{}, 7});
  visit("empty_string", String{});
  visit("point", Point{1, 0, -2});
  visit("quaternion", Quaternion{});
  visit("vector3", Vector3{0, 0.5, 0});
  visit("transform", Transform{{1, 0, 0}, {}});
  visit("twist", Twist{{}, {0, 0, 2}});
  visit("joint_trajectory_point", JointTrajectoryPoint{{1.0}, {}, {}, {}, {2, 3}});
  visit("joint_trajectory", with<JointTrajectory>([](auto& m) {
          m.joint_names = {"j"};
          m.points = {JointTrajectoryPoint{{0.5}, {}, {}, {}, {1, 0}}};
        }));
  visit("multi_dof_point",
        MultiDOFJointTrajectoryPoint{{Transform{{1, 2, 3}, {}}}, {}, {}, {0, 5}});
  visit("multi_dof_trajectory", MultiDOFJointTrajectory{{{1, 0}, ""}, {}, {}});
  visit("joint_tolerance", control_msgs::msg::JointTolerance{"j", 0.5, -1, 0});
  visit("component_tolerance",
        control_msgs::msg::JointComponentTolerance{
            "j", control_msgs::msg::JointComponentTolerance::TRANSLATION, 1, 2, 3});
  visit("fjt_goal", with<FJT::Goal>([](auto& m) { m.goal_time_tolerance.sec = 2; }));
  visit("fjt_result", FJT::Result{FJT::Result::INVALID_GOAL, ""});
  const auto fb = with<FJT::Feedback>([](auto& m) { m.actual.positions = {1.0}; });
  visit("fjt_feedback", fb);
  visit("fjt_feedback_message", FJT::Impl::FeedbackMessage{uuid_from(1), fb});
  visit("goal_status_array", action_msgs::msg::GoalStatusArray{
                                 {{{uuid_from(0x10), {7, 9}}, 2}, {{uuid_from(0x20), {8, 9}}, 3}}});
  visit("goal_info", action_msgs::msg::GoalInfo{uuid_from(0), {1, 0}});
  visit("log", Log{{1, 2}, 20, "n", "hi", "f.cpp", "fn", 7});
  visit("parameter_value", ParameterValue{7, true, -2, 1.5, "", {5}, {true}, {7}, {}, {"a"}});
  visit("parameter_descriptor",
        ParameterDescriptor{"a", 3, "", "", true, false, {{0, 1, 0.5}}, {}});
  ParameterValue set_true{};
  set_true.type = 1;
  set_true.bool_value = true;
  visit("parameter_event", ParameterEvent{{1, 2}, "/n", {{"p", set_true}}, {}, {}});
  rmw_dds_common::msg::Gid participant{}, writer{};
  participant.data[0] = writer.data[0] = 0x01;
  participant.data[15] = 0xc1;
  writer.data[15] = 0x03;
  visit("participant_entities_info",
        rmw_dds_common::msg::ParticipantEntitiesInfo{participant, {{"/", "talker", {}, {writer}}}});
}

}  // namespace ros2_test
