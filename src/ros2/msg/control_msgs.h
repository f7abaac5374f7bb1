#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ros2/msg/action_msgs.h"
#include "ros2/msg/builtin_interfaces.h"
#include "ros2/msg/std_msgs.h"
#include "ros2/msg/trajectory_msgs.h"
#include "ros2/msg/unique_identifier_msgs.h"
#include "ros2/type_support.h"

namespace control_msgs::msg {

// A tolerance of 0 means "use the default", -1 removes the limit.
struct JointTolerance {
  std::string name;
  double position = 0.0;
  double velocity = 0.0;
  double acceleration = 0.0;
  ROS2_MESSAGE_POINTERS(JointTolerance);
};
ROS2_FIELDS(JointTolerance, name, position, velocity, acceleration)

struct JointComponentTolerance {
  static constexpr uint16_t X_AXIS = 1;
  static constexpr uint16_t Y_AXIS = 2;
  static constexpr uint16_t Z_AXIS = 3;
  static constexpr uint16_t TRANSLATION = 4;
  static constexpr uint16_t ROTATION = 5;

  std::string joint_name;
  uint16_t component = 0;
  double position = 0.0;
  double velocity = 0.0;
  double acceleration = 0.0;
  ROS2_MESSAGE_POINTERS(JointComponentTolerance);
};
ROS2_FIELDS(JointComponentTolerance, joint_name, component, position, velocity, acceleration)

}  // namespace control_msgs::msg

namespace control_msgs::action {

struct FollowJointTrajectory_Goal {
  trajectory_msgs::msg::JointTrajectory trajectory;
  trajectory_msgs::msg::MultiDOFJointTrajectory multi_dof_trajectory;
  std::vector<msg::JointTolerance> path_tolerance;
  std::vector<msg::JointComponentTolerance> component_path_tolerance;
  std::vector<msg::JointTolerance> goal_tolerance;
  std::vector<msg::JointComponentTolerance> component_goal_tolerance;
  builtin_interfaces::msg::Duration goal_time_tolerance;
  ROS2_MESSAGE_POINTERS(FollowJointTrajectory_Goal);
};
ROS2_FIELDS(FollowJointTrajectory_Goal, trajectory, multi_dof_trajectory, path_tolerance,
            component_path_tolerance, goal_tolerance, component_goal_tolerance, goal_time_tolerance)

struct FollowJointTrajectory_Result {
  static constexpr int32_t SUCCESSFUL = 0;
  static constexpr int32_t INVALID_GOAL = -1;
  static constexpr int32_t INVALID_JOINTS = -2;
  static constexpr int32_t OLD_HEADER_TIMESTAMP = -3;
  static constexpr int32_t PATH_TOLERANCE_VIOLATED = -4;
  static constexpr int32_t GOAL_TOLERANCE_VIOLATED = -5;

  int32_t error_code = 0;
  std::string error_string;
  ROS2_MESSAGE_POINTERS(FollowJointTrajectory_Result);
};
ROS2_FIELDS(FollowJointTrajectory_Result, error_code, error_string)

struct FollowJointTrajectory_Feedback {
  std_msgs::msg::Header header;
  std::vector<std::string> joint_names;
  trajectory_msgs::msg::JointTrajectoryPoint desired;
  trajectory_msgs::msg::JointTrajectoryPoint actual;
  trajectory_msgs::msg::JointTrajectoryPoint error;
  std::vector<std::string> multi_dof_joint_names;
  trajectory_msgs::msg::MultiDOFJointTrajectoryPoint multi_dof_desired;
  trajectory_msgs::msg::MultiDOFJointTrajectoryPoint multi_dof_actual;
  trajectory_msgs::msg::MultiDOFJointTrajectoryPoint multi_dof_error;
  ROS2_MESSAGE_POINTERS(FollowJointTrajectory_Feedback);
};
ROS2_FIELDS(FollowJointTrajectory_Feedback, header, joint_names, desired, actual, error,
            multi_dof_joint_names, multi_dof_desired, multi_dof_actual, multi_dof_error)

struct FollowJointTrajectory_FeedbackMessage {
  unique_identifier_msgs::msg::UUID goal_id;
  FollowJointTrajectory_Feedback feedback;
  ROS2_MESSAGE_POINTERS(FollowJointTrajectory_FeedbackMessage);
};
ROS2_FIELDS(FollowJointTrajectory_FeedbackMessage, goal_id, feedback)

// The action's services, without the request header that the service layer puts in front.
struct FollowJointTrajectory_SendGoal_Request {
  unique_identifier_msgs::msg::UUID goal_id;
  FollowJointTrajectory_Goal goal;
  ROS2_MESSAGE_POINTERS(FollowJointTrajectory_SendGoal_Request);
};
ROS2_FIELDS(FollowJointTrajectory_SendGoal_Request, goal_id, goal)

struct FollowJointTrajectory_SendGoal_Response {
  bool accepted = false;
  builtin_interfaces::msg::Time stamp;
  ROS2_MESSAGE_POINTERS(FollowJointTrajectory_SendGoal_Response);
};
ROS2_FIELDS(FollowJointTrajectory_SendGoal_Response, accepted, stamp)

struct FollowJointTrajectory_GetResult_Request {
  unique_identifier_msgs::msg::UUID goal_id;
  ROS2_MESSAGE_POINTERS(FollowJointTrajectory_GetResult_Request);
};
ROS2_FIELDS(FollowJointTrajectory_GetResult_Request, goal_id)

struct FollowJointTrajectory_GetResult_Response {
  int8_t status = 0;
  FollowJointTrajectory_Result result;
  ROS2_MESSAGE_POINTERS(FollowJointTrajectory_GetResult_Response);
};
ROS2_FIELDS(FollowJointTrajectory_GetResult_Response, status, result)

struct FollowJointTrajectory {
  using Goal = FollowJointTrajectory_Goal;
  using Result = FollowJointTrajectory_Result;
  using Feedback = FollowJointTrajectory_Feedback;

  struct Impl {
    struct SendGoalService {
      using Request = FollowJointTrajectory_SendGoal_Request;
      using Response = FollowJointTrajectory_SendGoal_Response;
    };
    struct GetResultService {
      using Request = FollowJointTrajectory_GetResult_Request;
      using Response = FollowJointTrajectory_GetResult_Response;
    };
    using FeedbackMessage = FollowJointTrajectory_FeedbackMessage;
    using CancelGoalService = action_msgs::srv::CancelGoal;
    using GoalStatusMessage = action_msgs::msg::GoalStatusArray;
  };
};

}  // namespace control_msgs::action

ROS2_TYPE_SUPPORT(control_msgs::msg::JointTolerance, control_msgs_msg_dds__JointTolerance_)
ROS2_TYPE_SUPPORT(control_msgs::msg::JointComponentTolerance,
                  control_msgs_msg_dds__JointComponentTolerance_)
ROS2_TYPE_SUPPORT(control_msgs::action::FollowJointTrajectory_Goal,
                  control_msgs_action_dds__FollowJointTrajectory_Goal_)
ROS2_TYPE_SUPPORT(control_msgs::action::FollowJointTrajectory_Result,
                  control_msgs_action_dds__FollowJointTrajectory_Result_)
ROS2_TYPE_SUPPORT(control_msgs::action::FollowJointTrajectory_Feedback,
                  control_msgs_action_dds__FollowJointTrajectory_Feedback_)
ROS2_TYPE_SUPPORT(control_msgs::action::FollowJointTrajectory_FeedbackMessage,
                  control_msgs_action_dds__FollowJointTrajectory_FeedbackMessage_)
ROS2_TYPE_SUPPORT(control_msgs::action::FollowJointTrajectory_SendGoal_Request,
                  control_msgs_action_dds__FollowJointTrajectory_SendGoal_Request_)
ROS2_TYPE_SUPPORT(control_msgs::action::FollowJointTrajectory_SendGoal_Response,
                  control_msgs_action_dds__FollowJointTrajectory_SendGoal_Response_)
ROS2_TYPE_SUPPORT(control_msgs::action::FollowJointTrajectory_GetResult_Request,
                  control_msgs_action_dds__FollowJointTrajectory_GetResult_Request_)
ROS2_TYPE_SUPPORT(control_msgs::action::FollowJointTrajectory_GetResult_Response,
                  control_msgs_action_dds__FollowJointTrajectory_GetResult_Response_)
