#pragma once

// One sample of every message type; its exact payload is in test/data/ros2_wire_cases.txt under
// the same name. Used by the encoding tests, the topic tests and the echo mode of ros2_test_peer.

#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
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

// Bytes from hex digits; every other character is skipped.
inline Bytes hex(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
  }
  Bytes out;
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  }
  return out;
}

inline std::string dump(const Bytes& b) {
  std::string s;
  char buf[4];
  for (uint8_t v : b) {
    std::snprintf(buf, sizeof(buf), "%02x ", v);
    s += buf;
  }
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
  while (b.size() % 4 != 0) b.push_back(0);
  return b;
}

// The payload of a case of test/data/ros2_wire_cases.txt, without the trailing padding.
inline const Bytes& wire(const std::string& name) {
  static const std::map<std::string, Bytes> cases = [] {
    std::map<std::string, Bytes> out;
    std::ifstream in(ROS2_WIRE_CASES_FILE);
    std::string line, current;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      if (std::isspace(static_cast<unsigned char>(line[0]))) {
        const Bytes more = hex(line);
        out[current].insert(out[current].end(), more.begin(), more.end());
      } else {
        current = line;
      }
    }
    return out;
  }();
  const auto it = cases.find(name);
  if (it == cases.end()) throw std::out_of_range("no wire case " + name);
  return it->second;
}

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
  using FJT = control_msgs::action::FollowJointTrajectory;
  visit("float64_multi_array", with<Float64MultiArray>([](auto& m) {
          m.layout.dim = {{"points", 4, 24}, {"values", 6, 6}};
          m.data = {0.5, 1.5};
        }));
  visit("int32_multi_array", with<Int32MultiArray>([](auto& m) { m.data = {2, 1}; }));
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
  visit("log", rcl_interfaces::msg::Log{{1, 2}, 20, "n", "hi", "f.cpp", "fn", 7});
  visit("parameter_value",
        rcl_interfaces::msg::ParameterValue{7, true, -2, 1.5, "", {5}, {true}, {7}, {}, {"a"}});
  visit("parameter_descriptor",
        rcl_interfaces::msg::ParameterDescriptor{"a", 3, "", "", true, false, {{0, 1, 0.5}}, {}});
  visit("parameter_event", with<rcl_interfaces::msg::ParameterEvent>([](auto& m) {
          m.stamp = {1, 2};
          m.node = "/n";
          m.new_parameters = {{"p", {}}};
          m.new_parameters[0].value.type = 1;
          m.new_parameters[0].value.bool_value = true;
        }));
  visit("participant_entities_info",
        with<rmw_dds_common::msg::ParticipantEntitiesInfo>([](auto& m) {
          m.gid.data[0] = 0x01;
          m.gid.data[15] = 0xc1;
          m.node_entities_info_seq = {{"/", "talker", {}, {rmw_dds_common::msg::Gid{}}}};
          m.node_entities_info_seq[0].writer_gid_seq[0].data[0] = 0x01;
          m.node_entities_info_seq[0].writer_gid_seq[0].data[15] = 0x03;
        }));
}

// Float64MultiArray payloads a faulty or hostile peer could send: empty, short header, header
// only, truncated count, 4 G dimensions, 4 G doubles, a label without NUL, an XCDR2 header.
inline std::vector<Bytes> malformed_float64_multi_arrays() {
  return {{},
          hex("00 01"),
          hex("00 01 00 00"),
          hex("00 01 00 00 01 00"),
          hex("00 01 00 00 ff ff ff ff 00 00 00 00"),
          hex("00 01 00 00 00 00 00 00 00 00 00 00 ff ff ff ff 00 00 00 00"),
          hex("00 01 00 00 01 00 00 00 03 00 00 00 61 62 63 00 00 00 00 00"),
          hex("00 07 00 00 00 00 00 00 00 00 00 00 00 00 00 00")};
}

}  // namespace ros2_test
