#pragma once

// One sample of every message type with its exact payload: XCDR1, little endian, 8-byte alignment
// counted from the end of the encapsulation header, no padding around nested structs. The first
// six were captured from ROS 2 Humble (rclcpp + rmw_cyclonedds_cpp); the others are worked out by
// hand from the alignment rules. The expected bytes leave out the zero padding to a multiple of 4.
// Used by the encoding tests, the topic tests and the echo mode of ros2_test_peer.

#include <cctype>
#include <cstdio>
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

// Calls visit(name, message, expected hex) for every case; names are valid topic names.
template <class Visit>
void for_each_wire_case(Visit&& visit) {
  using namespace std_msgs::msg;
  using namespace geometry_msgs::msg;
  using namespace trajectory_msgs::msg;
  using FJT = control_msgs::action::FollowJointTrajectory;
  const std::string z24(48, '0'), z40(80, '0');
  visit("float64_multi_array", with<Float64MultiArray>([](auto& m) {
          m.layout.dim = {{"points", 4, 24}, {"values", 6, 6}};
          m.data = {0.5, 1.5};
        }),
        "00 01 00 00 02 00 00 00 07 00 00 00 70 6f 69 6e 74 73 00 00 04 00 00 00"
        "18 00 00 00 07 00 00 00 76 61 6c 75 65 73 00 00 06 00 00 00 06 00 00 00"
        "00 00 00 00 02 00 00 00 00 00 00 00 00 00 00 00 00 00 e0 3f 00 00 00 00"
        "00 00 f8 3f");
  visit("int32_multi_array", with<Int32MultiArray>([](auto& m) {
          m.data = {2, 1};
        }),
        "00 01 00 00 00 00 00 00 00 00 00 00 02 00 00 00 02 00 00 00 01 00 00 00");
  visit("bool", Bool{true}, "00 01 00 00 01");
  visit("string", String{"hello"}, "00 01 00 00 06 00 00 00 68 65 6c 6c 6f 00");
  visit("joint_state", with<sensor_msgs::msg::JointState>([](auto& m) {
          m.header = {{12, 345}, "base_link"};
          m.name = {"joint1", "joint2", "joint3"};
          m.position = {0.1, 0.2, 0.3};
          m.velocity = {0, 0, 0};
          m.effort = {1, 2, 3};
        }),
        "00 01 00 00 0c 00 00 00 59 01 00 00 0a 00 00 00 62 61 73 65 5f 6c 69 6e"
        "6b 00 00 00 03 00 00 00 07 00 00 00 6a 6f 69 6e 74 31 00 00 07 00 00 00"
        "6a 6f 69 6e 74 32 00 00 07 00 00 00 6a 6f 69 6e 74 33 00 00 03 00 00 00"
        "00 00 00 00 9a 99 99 99 99 99 b9 3f 9a 99 99 99 99 99 c9 3f 33 33 33 33"
        "33 33 d3 3f 03 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
        "00 00 00 00 00 00 00 00 00 00 00 00 03 00 00 00 00 00 00 00 00 00 00 00"
        "00 00 f0 3f 00 00 00 00 00 00 00 40 00 00 00 00 00 00 08 40");
  visit("pose", Pose{{1, 2, 3}, {}},
        "00 01 00 00 00 00 00 00 00 00 f0 3f 00 00 00 00 00 00 00 40 00 00 00 00"
        "00 00 08 40" +
            z24 + "00 00 00 00 00 00 f0 3f");
  // Worked out by hand from here on.
  visit("time", builtin_interfaces::msg::Time{1, 2}, "00 01 00 00 01 00 00 00 02 00 00 00");
  visit("duration", builtin_interfaces::msg::Duration{-1, 5},
        "00 01 00 00 ff ff ff ff 05 00 00 00");
  visit("uuid", uuid_from(0), "00 01 00 00 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f");
  visit("header", std_msgs::msg::Header{{1, 2}, "a"},
        "00 01 00 00 01 00 00 00 02 00 00 00 02 00 00 00 61 00");
  visit("dimension", MultiArrayDimension{"x", 3, 4},
        "00 01 00 00 02 00 00 00 78 00 00 00 03 00 00 00 04 00 00 00");
  visit("layout", MultiArrayLayout{{}, 7}, "00 01 00 00 00 00 00 00 07 00 00 00");
  visit("empty_string", String{}, "00 01 00 00 01 00 00 00 00");
  visit("point", Point{1, 0, -2},
        "00 01 00 00 00 00 00 00 00 00 f0 3f 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 c0");
  visit("quaternion", Quaternion{}, "00 01 00 00" + z24 + "00 00 00 00 00 00 f0 3f");
  visit("vector3", Vector3{0, 0.5, 0},
        "00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 e0 3f 00 00 00 00 00 00 00 00");
  visit("transform", Transform{{1, 0, 0}, {}},
        "00 01 00 00 00 00 00 00 00 00 f0 3f" + z40 + "00 00 00 00 00 00 f0 3f");
  visit("twist", Twist{{}, {0, 0, 2}}, "00 01 00 00" + z40 + "00 00 00 00 00 00 00 40");
  // A point pads before its first double; nested in a trajectory it starts unpadded at @28.
  visit("joint_trajectory_point", JointTrajectoryPoint{{1.0}, {}, {}, {}, {2, 3}},
        "00 01 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 f0 3f 00 00 00 00"
        "00 00 00 00 00 00 00 00 02 00 00 00 03 00 00 00");
  visit("joint_trajectory", with<JointTrajectory>([](auto& m) {
          m.joint_names = {"j"};
          m.points = {JointTrajectoryPoint{{0.5}, {}, {}, {}, {1, 0}}};
        }),
        "00 01 00 00 00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 01 00 00 00"
        "02 00 00 00 6a 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00"
        "00 00 e0 3f 00 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00");
  visit("multi_dof_point", MultiDOFJointTrajectoryPoint{{Transform{{1, 2, 3}, {}}}, {}, {}, {0, 5}},
        "00 01 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 f0 3f 00 00 00 00"
        "00 00 00 40 00 00 00 00 00 00 08 40" +
            z24 +
            "00 00 00 00 00 00 f0 3f"
            "00 00 00 00 00 00 00 00 00 00 00 00 05 00 00 00");
  visit("multi_dof_trajectory", MultiDOFJointTrajectory{{{1, 0}, ""}, {}, {}},
        "00 01 00 00 01 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
  visit("joint_tolerance", control_msgs::msg::JointTolerance{"j", 0.5, -1, 0},
        "00 01 00 00 02 00 00 00 6a 00 00 00 00 00 00 00 00 00 e0 3f 00 00 00 00"
        "00 00 f0 bf 00 00 00 00 00 00 00 00");
  visit("component_tolerance",
        control_msgs::msg::JointComponentTolerance{
            "j", control_msgs::msg::JointComponentTolerance::TRANSLATION, 1, 2, 3},
        "00 01 00 00 02 00 00 00 6a 00 04 00 00 00 00 00 00 00 f0 3f 00 00 00 00"
        "00 00 00 40 00 00 00 00 00 00 08 40");
  // Header 16, names and points 8, the same for the multi-dof trajectory, four empty
  // tolerance lists, the goal time tolerance.
  visit("fjt_goal", with<FJT::Goal>([](auto& m) { m.goal_time_tolerance.sec = 2; }),
        "00 01 00 00 00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00"
        "00 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00"
        "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 02 00 00 00"
        "00 00 00 00");
  visit("fjt_result", FJT::Result{FJT::Result::INVALID_GOAL, ""},
        "00 01 00 00 ff ff ff ff 01 00 00 00 00");
  // header 16, names 4, desired 24 (@20), actual with one value 32 (@44, 1.0 already 8-aligned
  // at @48), error 24 (@76), md names 4 (@100), three empty md points of 20 (@104).
  const auto fb = with<FJT::Feedback>([](auto& m) { m.actual.positions = {1.0}; });
  const std::string fb_hex = "00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00" + z24 +
                             "01 00 00 00 00 00 00 00 00 00 f0 3f" + std::string(40, '0') + z24 +
                             "00 00 00 00" + std::string(120, '0');
  visit("fjt_feedback", fb, "00 01 00 00" + fb_hex);
  visit("fjt_feedback_message", FJT::Impl::FeedbackMessage{uuid_from(1), fb},
        "00 01 00 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10" + fb_hex);
  // The second uuid follows the first status byte at @29; its stamp is padded to @48.
  visit("goal_status_array",
        action_msgs::msg::GoalStatusArray{
            {{{uuid_from(0x10), {7, 9}}, 2}, {{uuid_from(0x20), {8, 9}}, 3}}},
        "00 01 00 00 02 00 00 00 10 11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f"
        "07 00 00 00 09 00 00 00 02 20 21 22 23 24 25 26 27 28 29 2a 2b 2c 2d 2e"
        "2f 00 00 00 08 00 00 00 09 00 00 00 03");
  visit("goal_info", action_msgs::msg::GoalInfo{uuid_from(0), {1, 0}},
        "00 01 00 00 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 01 00 00 00 00 00 00 00");
  // level @8, strings from @12 (each 4-aligned after its padding), line @48.
  visit("log", rcl_interfaces::msg::Log{{1, 2}, 20, "n", "hi", "f.cpp", "fn", 7},
        "00 01 00 00 01 00 00 00 02 00 00 00 14 00 00 00 02 00 00 00 6e 00 00 00"
        "03 00 00 00 68 69 00 00 06 00 00 00 66 2e 63 70 70 00 00 00 03 00 00 00"
        "66 6e 00 00 07 00 00 00");
  visit("participant_entities_info",
        with<rmw_dds_common::msg::ParticipantEntitiesInfo>([](auto& m) {
          m.gid.data[0] = 0x01;
          m.gid.data[15] = 0xc1;
          m.node_entities_info_seq = {{"/", "talker", {}, {rmw_dds_common::msg::Gid{}}}};
          m.node_entities_info_seq[0].writer_gid_seq[0].data[0] = 0x01;
          m.node_entities_info_seq[0].writer_gid_seq[0].data[15] = 0x03;
        }),
        "00 01 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 c1 00 00 00 00"
        "00 00 00 00 01 00 00 00 02 00 00 00 2f 00 00 00 07 00 00 00 74 61 6c 6b"
        "65 72 00 00 00 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00"
        "00 00 00 03 00 00 00 00 00 00 00 00");
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
