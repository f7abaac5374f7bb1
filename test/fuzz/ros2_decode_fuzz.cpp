// Any payload (first byte: the type) decodes and re-encodes stably, or is refused with DecodeError.

#include "ros2/cdr.h"
#include "ros2/msg/control_msgs.h"
#include "ros2/msg/rmw_dds_common.h"
#include "ros2/ros2.h"

namespace {

template <class T>
void roundTrip(const uint8_t* data, size_t size, bool with_header) {
  using namespace ros2::cdr;
  uint64_t guid = 0;
  int64_t seq = 0;
  const auto decodeAndEncode = [&](const uint8_t* bytes, size_t count) {
    T msg{};
    std::vector<uint8_t> out;
    with_header ? deserialize_with_header(bytes, count, guid, seq, msg)
                : deserialize(bytes, count, msg);
    with_header ? serialize_with_header(guid, seq, msg, out) : serialize(msg, out);
    return out;
  };
  std::vector<uint8_t> first;
  try {
    first = decodeAndEncode(data, size);
  } catch (const DecodeError&) {
    return;
  }
  if (decodeAndEncode(first.data(), first.size()) != first) std::abort();
}

using FJT = control_msgs::action::FollowJointTrajectory;
using namespace control_msgs::action;
template <class... T>
constexpr void (*kTypesOf[])(const uint8_t*, size_t, bool) = {roundTrip<T>...};
constexpr auto& kTypes =
    kTypesOf<std_msgs::msg::Bool, std_msgs::msg::String, std_msgs::msg::Float64MultiArray,
             std_msgs::msg::Int32MultiArray, sensor_msgs::msg::JointState, geometry_msgs::msg::Pose,
             trajectory_msgs::msg::JointTrajectory, trajectory_msgs::msg::MultiDOFJointTrajectory,
             FJT::Goal, FJT::Result, FJT::Impl::FeedbackMessage,
             FollowJointTrajectory_SendGoal_Request, FollowJointTrajectory_SendGoal_Response,
             FollowJointTrajectory_GetResult_Request, FollowJointTrajectory_GetResult_Response,
             action_msgs::msg::GoalStatusArray, action_msgs::srv::CancelGoal_Request,
             action_msgs::srv::CancelGoal_Response, rmw_dds_common::msg::ParticipantEntitiesInfo>;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // Bit 7 of the selector: the service form with its 16-byte request header.
  kTypes[(data[0] & 0x7f) % std::size(kTypes)](data + 1, size - 1, (data[0] & 0x80) != 0);
  return 0;
}
