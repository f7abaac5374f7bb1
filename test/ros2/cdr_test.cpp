// Encoding of every message type and service payload against the bytes of the data file, with
// Cyclone's own decoder as a second judge, and the decoding of damaged and unusual data.

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

// Each sample encodes to its bytes and decodes back; every cut of it and every damaged payload of
// its type is refused.
TEST(Ros2Cdr, EveryMessageEncodesToItsExactBytesAndDecodesBack) {
  for_each_wire_case([&](const std::string& name, const auto& msg) {
    SCOPED_TRACE(name);
    using T = std::decay_t<decltype(msg)>;
    const Bytes got = encode(msg), &want = wire(name);
    EXPECT_EQ(dump(got), dump(padded(want)));
    EXPECT_TRUE(cyclone_accepts<T>(got));
    T back;
    ros2::cdr::deserialize(got.data(), got.size(), back);
    EXPECT_EQ(dump(encode(back)), dump(got));
    for (size_t n = 0; n < want.size(); ++n)
      expect_rejected<T>(Bytes(want.begin(), want.begin() + n));
    for (const auto& c : wire_cases()) {
      if (c.first.rfind("bad." + name + ".", 0) == 0) expect_rejected<T>(c.second);
    }
  });
}

TEST(Ros2Cdr, ServicePayloadsCarryTheRequestHeader) {
  const auto check = [](const std::string& name, const auto& body, uint64_t guid = 0,
                        int64_t seq = 1) {
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
    EXPECT_EQ(std::make_pair(guid_back, seq_back), std::make_pair(guid, seq));
    ros2::cdr::serialize_with_header(guid, seq, back, again);
    EXPECT_EQ(again, out);
  };
  using Goal = FJT::Impl::SendGoalService;
  using Result = FJT::Impl::GetResultService;
  check("send_goal_response", Goal::Response{true, {3, 4}}, 0x0102030405060708ull, 5);
  check("get_result_request", Result::Request{uuid_from(0)}, 1, 2);
  check("get_result_response", with<Result::Response>([](auto& m) {
          m.status = action_msgs::msg::GoalStatus::STATUS_SUCCEEDED;
          m.result.error_string = "ok";
        }));
  const action_msgs::msg::GoalInfo info{uuid_from(0), {}};
  check("cancel_goal_request", action_msgs::srv::CancelGoal_Request{info});
  check("cancel_goal_response",
        with<action_msgs::srv::CancelGoal_Response>([&](auto& m) { m.goals_canceling = {info}; }));
  check("send_goal_request", with<Goal::Request>([](auto& m) {
          m.goal_id = uuid_from(0);
          m.goal.trajectory.joint_names = {"a", "b"};
        }));
  check("list_parameters_request", rcl_interfaces::srv::ListParameters_Request{{"a"}, 2});
  check("get_parameters_response", with<rcl_interfaces::srv::GetParameters_Response>([](auto& m) {
          m.values.resize(1);
          m.values[0].type = rcl_interfaces::msg::ParameterType::PARAMETER_STRING;
          m.values[0].string_value = "x";
        }));
}

// Big-endian payloads are swapped; bytes after the last field are ignored, and an empty string
// replaces what the message held.
TEST(Ros2Cdr, BigEndianTrailingBytesAndEmptyStringsAreAccepted) {
  const Bytes be = hex(
      "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 02 00 00 00 00 3f f0 00 00 00 00 00 00 40 00 "
      "00 00 00 00 00 00");
  std_msgs::msg::Float64MultiArray m;
  ros2::cdr::deserialize(be.data(), be.size(), m);
  EXPECT_EQ(m.data, (std::vector<double>{1.0, 2.0}));
  const Bytes trailing = hex("00 01 00 00 00 00 00 00 de ad be ef");
  std_msgs::msg::String s{"x"};
  ros2::cdr::deserialize(trailing.data(), trailing.size(), s);
  EXPECT_EQ(s.data, "");
}

}  // namespace
