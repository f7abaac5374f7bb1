// Encoding of every message type against the byte strings of wire_cases.h and Cyclone's own
// decoder, service payloads with their request header, and decoding of damaged data.

#include "ros2/cdr.h"

#include <dds/dds.h>
#include <dds/ddsi/ddsi_cdrstream.h>
#include <gtest/gtest.h>

#include "ros2/type_support.h"
#include "wire_cases.h"

namespace {

using namespace ros2_test;
using FJT = control_msgs::action::FollowJointTrajectory;

// Cyclone's decoder, driven by the idlc description of T, accepts the payload.
template <class T>
bool cyclone_accepts(Bytes payload) {
  uint32_t off = 0;
  return dds_stream_normalize_data(reinterpret_cast<char*>(payload.data()) + 4, &off,
                                   static_cast<uint32_t>(payload.size() - 4), false, 1,
                                   ros2::TypeSupport<T>::descriptor()->m_ops) != nullptr;
}

template <class T>
void expect_rejected(const Bytes& payload) {
  T msg;
  EXPECT_THROW(ros2::cdr::deserialize(payload.data(), payload.size(), msg), ros2::cdr::DecodeError)
      << dump(payload);
}

TEST(Ros2Cdr, EveryMessageEncodesToItsExactBytesAndDecodesBack) {
  int cases = 0;
  for_each_wire_case([&](const std::string& name, const auto& msg) {
    SCOPED_TRACE(name);
    using T = std::decay_t<decltype(msg)>;
    const Bytes got = encode(msg);
    EXPECT_EQ(dump(got), dump(padded(wire(name))));
    EXPECT_TRUE(cyclone_accepts<T>(got));
    T back;
    ros2::cdr::deserialize(got.data(), got.size(), back);
    EXPECT_EQ(dump(encode(back)), dump(got));
    ++cases;
  });
  EXPECT_EQ(cases, 35);
}

// Service payloads: the request header (client guid, sequence number) before the ROS fields.
TEST(Ros2Cdr, ServicePayloadsCarryTheRequestHeader) {
  const auto check = [](uint64_t guid, int64_t seq, const auto& body, const std::string& name) {
    SCOPED_TRACE(name);
    using T = std::decay_t<decltype(body)>;
    Bytes out, again;
    ros2::cdr::serialize_with_header(guid, seq, body, out);
    EXPECT_EQ(dump(out), dump(padded(wire(name))));
    EXPECT_TRUE(cyclone_accepts<T>(out));
    uint64_t guid_back = 0;
    int64_t seq_back = 0;
    T back;
    ros2::cdr::deserialize_with_header(out.data(), out.size(), guid_back, seq_back, back);
    EXPECT_EQ(guid_back, guid);
    EXPECT_EQ(seq_back, seq);
    ros2::cdr::serialize_with_header(guid, seq, back, again);
    EXPECT_EQ(again, out);
  };
  FJT::Impl::SendGoalService::Response accepted;
  accepted.accepted = true;
  accepted.stamp = {3, 4};
  check(0x0102030405060708ull, 5, accepted, "send_goal_response");
  FJT::Impl::GetResultService::Request get_result;
  get_result.goal_id = uuid_from(0);
  check(1, 2, get_result, "get_result_request");
  FJT::Impl::GetResultService::Response result;
  result.status = action_msgs::msg::GoalStatus::STATUS_SUCCEEDED;
  result.result.error_string = "ok";
  check(0, 1, result, "get_result_response");
  action_msgs::srv::CancelGoal_Request cancel;
  cancel.goal_info.goal_id = uuid_from(0);
  check(0, 1, cancel, "cancel_goal_request");
  action_msgs::srv::CancelGoal_Response canceling;
  canceling.goals_canceling = {cancel.goal_info};
  check(0, 1, canceling, "cancel_goal_response");
  FJT::Impl::SendGoalService::Request send_goal;
  send_goal.goal_id = uuid_from(0);
  send_goal.goal.trajectory.joint_names = {"a", "b"};
  check(0, 1, send_goal, "send_goal_request");
  check(0, 1, rcl_interfaces::srv::ListParameters_Request{{"a"}, 2}, "list_parameters_request");
  rcl_interfaces::srv::GetParameters_Response values;
  values.values.resize(1);
  values.values[0].type = rcl_interfaces::msg::ParameterType::PARAMETER_STRING;
  values.values[0].string_value = "x";
  check(0, 1, values, "get_parameters_response");
}

TEST(Ros2CdrDecode, MalformedPayloadsAreRejected) {
  for (const Bytes& b : malformed_float64_multi_arrays()) {
    expect_rejected<std_msgs::msg::Float64MultiArray>(b);
  }
  expect_rejected<std_msgs::msg::String>(hex("00 01 00 00 ff ff ff 7f 41 00"));
  expect_rejected<std_msgs::msg::String>(hex("00 01 00 00 02 00 00 00 41 42"));
  expect_rejected<std_msgs::msg::Bool>(hex("00 01 00 00 02"));
  expect_rejected<std_msgs::msg::Bool>(hex("00 07 00 00 01"));
  sensor_msgs::msg::JointState m;
  m.header.frame_id = "base_link";
  m.name = {"joint1", "joint2"};
  m.position = {1, 2};
  m.velocity = {3, 4};
  m.effort = {5, 6};
  const Bytes full = encode(m);
  for (size_t n = 0; n + 4 < full.size(); ++n) {
    expect_rejected<sensor_msgs::msg::JointState>(Bytes(full.begin(), full.begin() + n));
  }
}

TEST(Ros2CdrDecode, BigEndianTrailingBytesAndEmptyStringsAreAccepted) {
  const Bytes be =
      hex("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 02"
          "00 00 00 00 3f f0 00 00 00 00 00 00 40 00 00 00 00 00 00 00");
  std_msgs::msg::Float64MultiArray m;
  ros2::cdr::deserialize(be.data(), be.size(), m);
  EXPECT_EQ(m.data, (std::vector<double>{1.0, 2.0}));
  const Bytes trailing = hex("00 01 00 00 00 00 00 00 de ad be ef");
  std_msgs::msg::String s;
  s.data = "x";
  ros2::cdr::deserialize(trailing.data(), trailing.size(), s);
  EXPECT_EQ(s.data, "");
}

}  // namespace
