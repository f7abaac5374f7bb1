// Any payload (first byte: the type) decodes and re-encodes stably, or is refused with DecodeError.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ros2/cdr.h"
#include "ros2/msg/action_msgs.h"
#include "ros2/msg/control_msgs.h"
#include "ros2/msg/geometry_msgs.h"
#include "ros2/msg/rmw_dds_common.h"
#include "ros2/msg/sensor_msgs.h"
#include "ros2/msg/std_msgs.h"
#include "ros2/msg/trajectory_msgs.h"

namespace {

template <class T>
void roundTrip(const uint8_t* data, size_t size, bool with_header) {
  T msg{}, again{};
  uint64_t guid = 0;
  int64_t seq = 0;
  const auto decode = [&](const uint8_t* bytes, size_t count, T& out) {
    with_header ? ros2::cdr::deserialize_with_header(bytes, count, guid, seq, out)
                : ros2::cdr::deserialize(bytes, count, out);
  };
  const auto encode = [&](const T& in, std::vector<uint8_t>& out) {
    with_header ? ros2::cdr::serialize_with_header(guid, seq, in, out)
                : ros2::cdr::serialize(in, out);
  };
  try {
    decode(data, size, msg);
  } catch (const ros2::cdr::DecodeError&) {
    return;
  }
  std::vector<uint8_t> first, second;
  encode(msg, first);
  decode(first.data(), first.size(), again);
  encode(again, second);
  if (first != second) std::abort();
}

using RoundTrip = void (*)(const uint8_t*, size_t, bool);
using FJT = control_msgs::action::FollowJointTrajectory;

template <class... T>
constexpr RoundTrip kTypesOf[] = {roundTrip<T>...};
constexpr auto& kTypes =
    kTypesOf<std_msgs::msg::Bool, std_msgs::msg::String, std_msgs::msg::Float64MultiArray,
             std_msgs::msg::Int32MultiArray, sensor_msgs::msg::JointState, geometry_msgs::msg::Pose,
             trajectory_msgs::msg::JointTrajectory, trajectory_msgs::msg::MultiDOFJointTrajectory,
             FJT::Goal, FJT::Result, FJT::Impl::FeedbackMessage,
             control_msgs::action::FollowJointTrajectory_SendGoal_Request,
             control_msgs::action::FollowJointTrajectory_SendGoal_Response,
             control_msgs::action::FollowJointTrajectory_GetResult_Request,
             control_msgs::action::FollowJointTrajectory_GetResult_Response,
             action_msgs::msg::GoalStatusArray, action_msgs::srv::CancelGoal_Request,
             action_msgs::srv::CancelGoal_Response, rmw_dds_common::msg::ParticipantEntitiesInfo>;
constexpr size_t kTypeCount = sizeof(kTypes) / sizeof(kTypes[0]);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // Bit 7 of the selector: the service form with its 16-byte request header.
  const uint8_t selector = data[0];
  kTypes[(selector & 0x7f) % kTypeCount](data + 1, size - 1, (selector & 0x80) != 0);
  return 0;
}
