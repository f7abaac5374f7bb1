#pragma once

#include <cstdint>
#include <vector>

#include "ros2/msg/builtin_interfaces.h"
#include "ros2/msg/unique_identifier_msgs.h"
#include "ros2/type_support.h"

namespace action_msgs::msg {

struct GoalInfo {
  unique_identifier_msgs::msg::UUID goal_id;
  builtin_interfaces::msg::Time stamp;
  ROS2_MESSAGE_POINTERS(GoalInfo);
};
ROS2_FIELDS(GoalInfo, goal_id, stamp)

struct GoalStatus {
  static constexpr int8_t STATUS_UNKNOWN = 0;
  static constexpr int8_t STATUS_ACCEPTED = 1;
  static constexpr int8_t STATUS_EXECUTING = 2;
  static constexpr int8_t STATUS_CANCELING = 3;
  static constexpr int8_t STATUS_SUCCEEDED = 4;
  static constexpr int8_t STATUS_CANCELED = 5;
  static constexpr int8_t STATUS_ABORTED = 6;

  GoalInfo goal_info;
  int8_t status = 0;
  ROS2_MESSAGE_POINTERS(GoalStatus);
};
ROS2_FIELDS(GoalStatus, goal_info, status)

struct GoalStatusArray {
  std::vector<GoalStatus> status_list;
  ROS2_MESSAGE_POINTERS(GoalStatusArray);
};
ROS2_FIELDS(GoalStatusArray, status_list)

}  // namespace action_msgs::msg

namespace action_msgs::srv {

// The request and reply of the cancel service, without the request header that the service
// layer puts in front of them.
struct CancelGoal_Request {
  msg::GoalInfo goal_info;
  ROS2_MESSAGE_POINTERS(CancelGoal_Request);
};
ROS2_FIELDS(CancelGoal_Request, goal_info)

struct CancelGoal_Response {
  static constexpr int8_t ERROR_NONE = 0;
  static constexpr int8_t ERROR_REJECTED = 1;
  static constexpr int8_t ERROR_UNKNOWN_GOAL_ID = 2;
  static constexpr int8_t ERROR_GOAL_TERMINATED = 3;

  int8_t return_code = 0;
  std::vector<msg::GoalInfo> goals_canceling;
  ROS2_MESSAGE_POINTERS(CancelGoal_Response);
};
ROS2_FIELDS(CancelGoal_Response, return_code, goals_canceling)

struct CancelGoal {
  using Request = CancelGoal_Request;
  using Response = CancelGoal_Response;
};

}  // namespace action_msgs::srv

ROS2_TYPE_SUPPORT(action_msgs::msg::GoalInfo, action_msgs_msg_dds__GoalInfo_)
ROS2_TYPE_SUPPORT(action_msgs::msg::GoalStatus, action_msgs_msg_dds__GoalStatus_)
ROS2_TYPE_SUPPORT(action_msgs::msg::GoalStatusArray, action_msgs_msg_dds__GoalStatusArray_)
ROS2_TYPE_SUPPORT(action_msgs::srv::CancelGoal_Request, action_msgs_srv_dds__CancelGoal_Request_)
ROS2_TYPE_SUPPORT(action_msgs::srv::CancelGoal_Response, action_msgs_srv_dds__CancelGoal_Response_)
