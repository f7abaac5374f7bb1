#pragma once

#include <map>
#include <memory>
#include <string>

#include "controller_frame/publish_robot_status_interface.h"
#include "ros2/msg/geometry_msgs.h"
#include "ros2/msg/sensor_msgs.h"
#include "ros2/msg/std_msgs.h"
#include "ros2/ros2.h"

namespace brenvik {

// The status node "public_robot_status_node": one ROS 2 publisher per status topic
// (QoS keep last 10, reliable, volatile). Never spun.
//
// Create operations run on the main thread at start-up; publish operations only on the control
// thread, which therefore owns the cached messages below: each topic keeps its message so that a
// period's publish builds no new message (joint names are made once per size).
// Publishing on a topic that was never created throws std::out_of_range.
class PublishRobotStatusROS2 : public ros2::Node, public PublishRobotStatusInterface {
 public:
  explicit PublishRobotStatusROS2(const std::string& node_name = "public_robot_status_node",
                                  const ros2::NodeOptions& options = ros2::NodeOptions());

  void createFloat64MultiArrayPublisher(const std::string& topic,
                                        const std::vector<double>* source) override;
  void createJointStatePublisher(const std::string& topic, const JointStateRecord* source) override;
  void createBoolPublisher(const std::string& topic, const bool* source) override;
  void createPosePublisher(const std::string& topic, const Eigen::Matrix4d* source) override;

  void publishFloat64MultiArray(const std::string& topic, const std::vector<double>& data) override;
  // header.stamp: wall-clock time; frame "base_link"; names joint1..jointN.
  void publishJointState(const std::string& topic, const JointStateRecord& state) override;
  void publishBool(const std::string& topic, const bool& flag) override;
  // Position: the translation column; orientation: the unit quaternion of the rotation block.
  void publishPose(const std::string& topic, const Eigen::Matrix4d& pose) override;

  // The orientation publishPose gives a rotation block.
  static geometry_msgs::msg::Quaternion quaternion(const Eigen::Matrix4d& pose);

 private:
  template <class MessageT>
  struct Topic {
    typename ros2::Publisher<MessageT>::SharedPtr publisher;
    MessageT message;
  };

  template <class MessageT>
  void create(std::map<std::string, Topic<MessageT>>& topics, const std::string& name);

  ros2::Clock clock_{ros2::RCL_SYSTEM_TIME};
  std::map<std::string, Topic<std_msgs::msg::Bool>> bool_topics_;
  std::map<std::string, Topic<sensor_msgs::msg::JointState>> joint_state_topics_;
  std::map<std::string, Topic<std_msgs::msg::Float64MultiArray>> float64_array_topics_;
  std::map<std::string, Topic<geometry_msgs::msg::Pose>> pose_topics_;
};

}  // namespace brenvik
