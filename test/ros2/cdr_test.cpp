// Encoding of every message type, checked against byte strings worked out by hand from the CDR
// rules (XCDR1, little endian, 8-byte alignment from the end of the encapsulation header) and
// against payloads written by ROS 2 Humble itself.

#include "ros2/cdr.h"

#include <dds/dds.h>
#include <dds/ddsi/ddsi_cdrstream.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ros2/msg/action_msgs.h"
#include "ros2/msg/control_msgs.h"
#include "ros2/msg/geometry_msgs.h"
#include "ros2/msg/rmw_dds_common.h"
#include "ros2/msg/sensor_msgs.h"
#include "ros2/msg/std_msgs.h"
#include "ros2/msg/trajectory_msgs.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes hex(const std::string& text) {
  Bytes out;
  unsigned v = 0;
  int digits = 0;
  for (char c : text) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else {
      continue;
    }
    v = v * 16 + static_cast<unsigned>(d);
    if (++digits == 2) {
      out.push_back(static_cast<uint8_t>(v));
      v = 0;
      digits = 0;
    }
  }
  return out;
}

std::string dump(const Bytes& b) {
  std::string s;
  char buf[4];
  for (size_t i = 0; i < b.size(); ++i) {
    std::snprintf(buf, sizeof(buf), "%02x%s", b[i], i + 1 < b.size() ? " " : "");
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
Bytes padded(Bytes b) {
  while (b.size() % 4 != 0) b.push_back(0);
  return b;
}

// Cyclone's decoder, driven by the idlc description of T, accepts the payload.
template <class T>
bool cyclone_accepts(Bytes payload) {
  uint32_t off = 0;
  return dds_stream_normalize_data(reinterpret_cast<char*>(payload.data()) + 4, &off,
                                   static_cast<uint32_t>(payload.size() - 4), false, 1,
                                   ros2::TypeSupport<T>::descriptor()->m_ops) != nullptr;
}

template <class T>
void expect_encoding(const T& msg, const Bytes& expected) {
  const Bytes got = encode(msg);
  EXPECT_EQ(dump(got), dump(padded(expected)));
  EXPECT_TRUE(cyclone_accepts<T>(got));
  T back;
  ros2::cdr::deserialize(got.data(), got.size(), back);
  EXPECT_EQ(dump(encode(back)), dump(got));
}

unique_identifier_msgs::msg::UUID uuid_from(uint8_t first) {
  unique_identifier_msgs::msg::UUID u;
  for (size_t i = 0; i < 16; ++i) u.uuid[i] = static_cast<uint8_t>(first + i);
  return u;
}

// Payloads captured from ROS 2 Humble (rclcpp + rmw_cyclonedds_cpp).
TEST(Ros2CdrReference, Float64MultiArrayMatchesRos) {
  std_msgs::msg::Float64MultiArray m;
  m.layout.dim = {{"points", 4, 24}, {"values", 6, 6}};
  m.data = {0.5, 1.5};
  expect_encoding(m, hex("00 01 00 00 02 00 00 00 07 00 00 00 70 6f 69 6e"
                         "74 73 00 00 04 00 00 00 18 00 00 00 07 00 00 00"
                         "76 61 6c 75 65 73 00 00 06 00 00 00 06 00 00 00"
                         "00 00 00 00 02 00 00 00 00 00 00 00 00 00 00 00"
                         "00 00 e0 3f 00 00 00 00 00 00 f8 3f"));
}

TEST(Ros2CdrReference, Int32MultiArrayMatchesRos) {
  std_msgs::msg::Int32MultiArray m;
  m.data = {2, 1};
  expect_encoding(m, hex("00 01 00 00 00 00 00 00 00 00 00 00 02 00 00 00"
                         "02 00 00 00 01 00 00 00"));
}

TEST(Ros2CdrReference, BoolMatchesRosAndIsPaddedToFour) {
  std_msgs::msg::Bool m;
  m.data = true;
  expect_encoding(m, hex("00 01 00 00 01"));
  EXPECT_EQ(encode(m).size(), 8u);
}

TEST(Ros2CdrReference, StringMatchesRos) {
  std_msgs::msg::String m;
  m.data = "hello";
  expect_encoding(m, hex("00 01 00 00 06 00 00 00 68 65 6c 6c 6f 00"));
  EXPECT_EQ(encode(m).size(), 16u);
}

TEST(Ros2CdrReference, JointStateMatchesRos) {
  sensor_msgs::msg::JointState m;
  m.header.stamp.sec = 12;
  m.header.stamp.nanosec = 345;
  m.header.frame_id = "base_link";
  m.name = {"joint1", "joint2", "joint3"};
  m.position = {0.1, 0.2, 0.3};
  m.velocity = {0, 0, 0};
  m.effort = {1, 2, 3};
  expect_encoding(m, hex("00 01 00 00 0c 00 00 00 59 01 00 00 0a 00 00 00"
                         "62 61 73 65 5f 6c 69 6e 6b 00 00 00 03 00 00 00"
                         "07 00 00 00 6a 6f 69 6e 74 31 00 00 07 00 00 00"
                         "6a 6f 69 6e 74 32 00 00 07 00 00 00 6a 6f 69 6e"
                         "74 33 00 00 03 00 00 00 00 00 00 00 9a 99 99 99"
                         "99 99 b9 3f 9a 99 99 99 99 99 c9 3f 33 33 33 33"
                         "33 33 d3 3f 03 00 00 00 00 00 00 00 00 00 00 00"
                         "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                         "00 00 00 00 03 00 00 00 00 00 00 00 00 00 00 00"
                         "00 00 f0 3f 00 00 00 00 00 00 00 40 00 00 00 00"
                         "00 00 08 40"));
}

TEST(Ros2CdrReference, PoseMatchesRos) {
  geometry_msgs::msg::Pose m;
  m.position.x = 1;
  m.position.y = 2;
  m.position.z = 3;
  expect_encoding(m, hex("00 01 00 00 00 00 00 00 00 00 f0 3f 00 00 00 00"
                         "00 00 00 40 00 00 00 00 00 00 08 40 00 00 00 00"
                         "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                         "00 00 00 00 00 00 00 00 00 00 f0 3f"));
}

// Layouts worked out from the alignment rules.
TEST(Ros2CdrLayout, TimeDurationAndUuid) {
  builtin_interfaces::msg::Time t;
  t.sec = 1;
  t.nanosec = 2;
  expect_encoding(t, hex("00 01 00 00 01 00 00 00 02 00 00 00"));
  builtin_interfaces::msg::Duration d;
  d.sec = -1;
  d.nanosec = 5;
  expect_encoding(d, hex("00 01 00 00 ff ff ff ff 05 00 00 00"));
  expect_encoding(uuid_from(0), hex("00 01 00 00 00 01 02 03 04 05 06 07 08 09 0a 0b"
                                    "0c 0d 0e 0f"));
}

TEST(Ros2CdrLayout, HeaderDimensionAndLayout) {
  std_msgs::msg::Header h;
  h.stamp.sec = 1;
  h.stamp.nanosec = 2;
  h.frame_id = "a";
  expect_encoding(h, hex("00 01 00 00 01 00 00 00 02 00 00 00 02 00 00 00 61 00"));
  std_msgs::msg::MultiArrayDimension dim;
  dim.label = "x";
  dim.size = 3;
  dim.stride = 4;
  expect_encoding(dim, hex("00 01 00 00 02 00 00 00 78 00 00 00 03 00 00 00 04 00 00 00"));
  std_msgs::msg::MultiArrayLayout layout;
  layout.data_offset = 7;
  expect_encoding(layout, hex("00 01 00 00 00 00 00 00 07 00 00 00"));
}

TEST(Ros2CdrLayout, EmptyStringIsLengthOneAndNul) {
  std_msgs::msg::String m;
  expect_encoding(m, hex("00 01 00 00 01 00 00 00 00"));
}

TEST(Ros2CdrLayout, GeometryTypesAreBareDoubles) {
  geometry_msgs::msg::Point p;
  p.x = 1;
  p.z = -2;
  expect_encoding(p, hex("00 01 00 00 00 00 00 00 00 00 f0 3f 00 00 00 00 00 00 00 00"
                         "00 00 00 00 00 00 00 c0"));
  geometry_msgs::msg::Quaternion q;
  expect_encoding(q, hex("00 01 00 00" + std::string(48, '0') + "00 00 00 00 00 00 f0 3f"));
  geometry_msgs::msg::Vector3 v;
  v.y = 0.5;
  expect_encoding(v, hex("00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 e0 3f"
                         "00 00 00 00 00 00 00 00"));
  geometry_msgs::msg::Transform tf;
  tf.translation.x = 1;
  expect_encoding(tf, hex("00 01 00 00 00 00 00 00 00 00 f0 3f" + std::string(80, '0') +
                          "00 00 00 00 00 00 f0 3f"));
  geometry_msgs::msg::Twist tw;
  tw.angular.z = 2;
  expect_encoding(tw, hex("00 01 00 00" + std::string(80, '0') + "00 00 00 00 00 00 00 40"));
}

TEST(Ros2CdrLayout, JointTrajectoryPointPadsBeforeDoubles) {
  trajectory_msgs::msg::JointTrajectoryPoint p;
  p.positions = {1.0};
  p.time_from_start.sec = 2;
  p.time_from_start.nanosec = 3;
  expect_encoding(p, hex("00 01 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 f0 3f"
                         "00 00 00 00 00 00 00 00 00 00 00 00 02 00 00 00 03 00 00 00"));
}

TEST(Ros2CdrLayout, JointTrajectoryNestsPointsWithoutStructPadding) {
  trajectory_msgs::msg::JointTrajectory t;
  t.joint_names = {"j"};
  trajectory_msgs::msg::JointTrajectoryPoint p;
  p.positions = {0.5};
  p.time_from_start.sec = 1;
  t.points = {p};
  expect_encoding(t, hex("00 01 00 00"
                         "00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00"  // header @0
                         "01 00 00 00 02 00 00 00 6a 00 00 00"              // names @16
                         "01 00 00 00 01 00 00 00 00 00 00 00"              // points @28
                         "00 00 00 00 00 00 e0 3f"                          // 0.5 @40
                         "00 00 00 00 00 00 00 00 00 00 00 00"              // empty @48
                         "01 00 00 00 00 00 00 00"));                       // time @60
}

TEST(Ros2CdrLayout, MultiDofTrajectoryTypes) {
  trajectory_msgs::msg::MultiDOFJointTrajectoryPoint p;
  geometry_msgs::msg::Transform tf;
  tf.translation.x = 1;
  tf.translation.y = 2;
  tf.translation.z = 3;
  p.transforms = {tf};
  p.time_from_start.nanosec = 5;
  expect_encoding(p, hex("00 01 00 00 01 00 00 00 00 00 00 00"
                         "00 00 00 00 00 00 f0 3f 00 00 00 00 00 00 00 40"
                         "00 00 00 00 00 00 08 40" +
                         std::string(48, '0') +
                         "00 00 00 00 00 00 f0 3f"
                         "00 00 00 00 00 00 00 00 00 00 00 00 05 00 00 00"));
  trajectory_msgs::msg::MultiDOFJointTrajectory t;
  t.header.stamp.sec = 1;
  expect_encoding(t, hex("00 01 00 00 01 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00"
                         "00 00 00 00 00 00 00 00"));
}

TEST(Ros2CdrLayout, Tolerances) {
  control_msgs::msg::JointTolerance jt;
  jt.name = "j";
  jt.position = 0.5;
  jt.velocity = -1;
  expect_encoding(jt, hex("00 01 00 00 02 00 00 00 6a 00 00 00"
                          "00 00 00 00 00 00 e0 3f 00 00 00 00 00 00 f0 bf"
                          "00 00 00 00 00 00 00 00"));
  control_msgs::msg::JointComponentTolerance ct;
  ct.joint_name = "j";
  ct.component = control_msgs::msg::JointComponentTolerance::TRANSLATION;
  ct.position = 1;
  ct.velocity = 2;
  ct.acceleration = 3;
  expect_encoding(ct, hex("00 01 00 00 02 00 00 00 6a 00 04 00"
                          "00 00 00 00 00 00 f0 3f 00 00 00 00 00 00 00 40"
                          "00 00 00 00 00 00 08 40"));
}

TEST(Ros2CdrLayout, FollowJointTrajectoryGoalResultFeedback) {
  control_msgs::action::FollowJointTrajectory::Goal goal;
  goal.goal_time_tolerance.sec = 2;
  expect_encoding(goal, hex("00 01 00 00"
                            "00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00"  // header
                            "00 00 00 00 00 00 00 00"                          // names, points
                            "00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00"  // md header
                            "00 00 00 00 00 00 00 00"                          // names, points
                            "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"  // tolerances
                            "02 00 00 00 00 00 00 00"));
  control_msgs::action::FollowJointTrajectory::Result result;
  result.error_code = control_msgs::action::FollowJointTrajectory::Result::INVALID_GOAL;
  expect_encoding(result, hex("00 01 00 00 ff ff ff ff 01 00 00 00 00"));

  control_msgs::action::FollowJointTrajectory::Feedback fb;
  fb.actual.positions = {1.0};
  // header 16, names 4, desired 24 (@20), actual with one value 32 (@44, 1.0 already 8-aligned
  // at @48), error 24 (@76), md names 4 (@100), three empty md points of 20 (@104).
  Bytes expected =
      hex("00 01 00 00 00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00"
          "00 00 00 00" +
          std::string(48, '0') + "01 00 00 00 00 00 00 00 00 00 f0 3f" + std::string(40, '0') +
          std::string(48, '0') + "00 00 00 00" + std::string(120, '0'));
  expect_encoding(fb, expected);

  control_msgs::action::FollowJointTrajectory::Impl::FeedbackMessage fm;
  fm.goal_id = uuid_from(1);
  fm.feedback = fb;
  Bytes fm_expected = hex("00 01 00 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10");
  fm_expected.insert(fm_expected.end(), expected.begin() + 4, expected.end());
  expect_encoding(fm, fm_expected);
}

TEST(Ros2CdrLayout, GoalStatusArrayPaddingDriftsBetweenElements) {
  action_msgs::msg::GoalStatusArray arr;
  for (uint8_t i = 0; i < 2; ++i) {
    action_msgs::msg::GoalStatus st;
    st.goal_info.goal_id = uuid_from(static_cast<uint8_t>(0x10 * (i + 1)));
    st.goal_info.stamp.sec = 7 + i;
    st.goal_info.stamp.nanosec = 9;
    st.status = action_msgs::msg::GoalStatus::STATUS_EXECUTING + i;
    arr.status_list.push_back(st);
  }
  expect_encoding(arr, hex("00 01 00 00 02 00 00 00"
                           "10 11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f"  // uuid @4
                           "07 00 00 00 09 00 00 00 02"                       // @20, @28
                           "20 21 22 23 24 25 26 27 28 29 2a 2b 2c 2d 2e 2f"  // uuid @29
                           "00 00 00"                                         // pad @45
                           "08 00 00 00 09 00 00 00 03"));                    // @48, @56
  action_msgs::msg::GoalInfo info;
  info.goal_id = uuid_from(0);
  info.stamp.sec = 1;
  expect_encoding(info, hex("00 01 00 00 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f"
                            "01 00 00 00 00 00 00 00"));
}

TEST(Ros2CdrLayout, ParticipantEntitiesInfoOfOneTalker) {
  rmw_dds_common::msg::ParticipantEntitiesInfo info;
  info.gid.data[0] = 0x01;
  info.gid.data[15] = 0xc1;
  rmw_dds_common::msg::NodeEntitiesInfo node;
  node.node_namespace = "/";
  node.node_name = "talker";
  rmw_dds_common::msg::Gid w;
  w.data[0] = 0x01;
  w.data[15] = 0x03;
  node.writer_gid_seq = {w};
  info.node_entities_info_seq = {node};
  const std::string gid_p =
      "01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 c1" + std::string(16, '0');
  const std::string gid_w =
      "01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 03" + std::string(16, '0');
  expect_encoding(info, hex("00 01 00 00" + gid_p +
                            "01 00 00 00 02 00 00 00 2f 00 00 00"  // @24 count, @28 ns
                            "07 00 00 00 74 61 6c 6b 65 72 00 00"  // @36 name
                            "00 00 00 00 01 00 00 00" +            // @48, @52
                            gid_w));
  EXPECT_EQ(encode(info).size(), 84u);
}

// Service payloads carry the request header in front of the ROS fields.
TEST(Ros2CdrService, SendGoalResponseAndGetResultRequest) {
  control_msgs::action::FollowJointTrajectory_SendGoal_Response r;
  r.accepted = true;
  r.stamp.sec = 3;
  r.stamp.nanosec = 4;
  Bytes out;
  ros2::cdr::serialize_with_header(0x0102030405060708ull, 5, r, out);
  EXPECT_EQ(dump(out), dump(hex("00 01 00 00 08 07 06 05 04 03 02 01 05 00 00 00 00 00 00 00"
                                "01 00 00 00 03 00 00 00 04 00 00 00")));
  EXPECT_TRUE(cyclone_accepts<control_msgs::action::FollowJointTrajectory_SendGoal_Response>(out));

  control_msgs::action::FollowJointTrajectory_GetResult_Request q;
  q.goal_id = uuid_from(0);
  ros2::cdr::serialize_with_header(1, 2, q, out);
  EXPECT_EQ(out.size(), 36u);
  EXPECT_TRUE(cyclone_accepts<control_msgs::action::FollowJointTrajectory_GetResult_Request>(out));
  uint64_t guid = 0;
  int64_t seq = 0;
  control_msgs::action::FollowJointTrajectory_GetResult_Request back;
  ros2::cdr::deserialize_with_header(out.data(), out.size(), guid, seq, back);
  EXPECT_EQ(guid, 1u);
  EXPECT_EQ(seq, 2);
  EXPECT_EQ(back.goal_id.uuid, q.goal_id.uuid);
}

TEST(Ros2CdrService, CancelGoalAndResultAndSendGoalRequest) {
  action_msgs::srv::CancelGoal_Response cr;
  cr.return_code = action_msgs::srv::CancelGoal_Response::ERROR_NONE;
  action_msgs::msg::GoalInfo gi;
  gi.goal_id = uuid_from(0);
  cr.goals_canceling = {gi};
  Bytes out;
  ros2::cdr::serialize_with_header(0, 1, cr, out);
  EXPECT_EQ(dump(out), dump(hex("00 01 00 00" + std::string(16, '0') +
                                "01 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00"
                                "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f" +
                                std::string(16, '0'))));
  EXPECT_TRUE(cyclone_accepts<action_msgs::srv::CancelGoal_Response>(out));

  action_msgs::srv::CancelGoal_Request cq;
  cq.goal_info = gi;
  ros2::cdr::serialize_with_header(0, 1, cq, out);
  EXPECT_EQ(out.size(), 44u);
  EXPECT_TRUE(cyclone_accepts<action_msgs::srv::CancelGoal_Request>(out));

  control_msgs::action::FollowJointTrajectory_GetResult_Response rr;
  rr.status = action_msgs::msg::GoalStatus::STATUS_SUCCEEDED;
  rr.result.error_string = "ok";
  ros2::cdr::serialize_with_header(0, 1, rr, out);
  EXPECT_EQ(dump(out), dump(hex("00 01 00 00" + std::string(16, '0') +
                                "01 00 00 00 00 00 00 00"
                                "04 00 00 00 00 00 00 00 03 00 00 00 6f 6b 00 00")));
  EXPECT_TRUE(cyclone_accepts<control_msgs::action::FollowJointTrajectory_GetResult_Response>(out));

  control_msgs::action::FollowJointTrajectory_SendGoal_Request gq;
  gq.goal_id = uuid_from(0);
  gq.goal.trajectory.joint_names = {"a", "b"};
  ros2::cdr::serialize_with_header(0, 1, gq, out);
  EXPECT_TRUE(cyclone_accepts<control_msgs::action::FollowJointTrajectory_SendGoal_Request>(out));
  control_msgs::action::FollowJointTrajectory_SendGoal_Request back;
  uint64_t guid = 9;
  int64_t seq = 9;
  ros2::cdr::deserialize_with_header(out.data(), out.size(), guid, seq, back);
  EXPECT_EQ(back.goal.trajectory.joint_names, gq.goal.trajectory.joint_names);
}

// Decoding of damaged data.
TEST(Ros2CdrDecode, EveryTruncationOfAJointStateIsRejected) {
  sensor_msgs::msg::JointState m;
  m.header.frame_id = "base_link";
  m.name = {"joint1", "joint2"};
  m.position = {1, 2};
  m.velocity = {3, 4};
  m.effort = {5, 6};
  const Bytes full = encode(m);
  for (size_t n = 0; n + 4 < full.size(); ++n) {
    sensor_msgs::msg::JointState out;
    EXPECT_THROW(ros2::cdr::deserialize(full.data(), n, out), ros2::cdr::DecodeError) << n;
  }
}

TEST(Ros2CdrDecode, HugeCountsAreRejectedBeforeAllocating) {
  // A Float64MultiArray claiming 2^32-1 dimensions, then one claiming 2^32-1 doubles.
  const Bytes dims = hex("00 01 00 00 ff ff ff ff 00 00 00 00");
  std_msgs::msg::Float64MultiArray m;
  EXPECT_THROW(ros2::cdr::deserialize(dims.data(), dims.size(), m), ros2::cdr::DecodeError);
  const Bytes data = hex("00 01 00 00 00 00 00 00 00 00 00 00 ff ff ff ff 00 00 00 00");
  EXPECT_THROW(ros2::cdr::deserialize(data.data(), data.size(), m), ros2::cdr::DecodeError);
  const Bytes str = hex("00 01 00 00 ff ff ff 7f 41 00");
  std_msgs::msg::String s;
  EXPECT_THROW(ros2::cdr::deserialize(str.data(), str.size(), s), ros2::cdr::DecodeError);
}

TEST(Ros2CdrDecode, BadStringsBooleansAndHeadersAreRejected) {
  std_msgs::msg::String s;
  const Bytes no_nul = hex("00 01 00 00 02 00 00 00 41 42");
  EXPECT_THROW(ros2::cdr::deserialize(no_nul.data(), no_nul.size(), s), ros2::cdr::DecodeError);
  std_msgs::msg::Bool b;
  const Bytes two = hex("00 01 00 00 02");
  EXPECT_THROW(ros2::cdr::deserialize(two.data(), two.size(), b), ros2::cdr::DecodeError);
  const Bytes xcdr2 = hex("00 07 00 00 01");
  EXPECT_THROW(ros2::cdr::deserialize(xcdr2.data(), xcdr2.size(), b), ros2::cdr::DecodeError);
  const Bytes short_header = hex("00 01");
  EXPECT_THROW(ros2::cdr::deserialize(short_header.data(), short_header.size(), b),
               ros2::cdr::DecodeError);
}

TEST(Ros2CdrDecode, BigEndianPayloadsAreSwapped) {
  const Bytes be =
      hex("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 02"
          "00 00 00 00 3f f0 00 00 00 00 00 00 40 00 00 00 00 00 00 00");
  std_msgs::msg::Float64MultiArray m;
  ros2::cdr::deserialize(be.data(), be.size(), m);
  EXPECT_EQ(m.data, (std::vector<double>{1.0, 2.0}));
}

TEST(Ros2CdrDecode, TrailingBytesAndZeroLengthStringsAreTolerated) {
  Bytes b = hex("00 01 00 00 00 00 00 00 de ad be ef");
  std_msgs::msg::String s;
  s.data = "x";
  ros2::cdr::deserialize(b.data(), b.size(), s);
  EXPECT_EQ(s.data, "");
}

}  // namespace
