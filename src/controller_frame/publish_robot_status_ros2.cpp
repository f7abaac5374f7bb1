#include "controller_frame/publish_robot_status_ros2.h"

#include <algorithm>

namespace brenvik {

namespace {
constexpr size_t kStatusQueueDepth = 10;
}  // namespace

PublishRobotStatusROS2::PublishRobotStatusROS2(const std::string& node_name,
                                               const ros2::NodeOptions& options)
    : ros2::Node(node_name, options) {}

template <class MessageT>
void PublishRobotStatusROS2::create(std::map<std::string, Topic<MessageT>>& topics,
                                    const std::string& name) {
  Topic<MessageT>& topic = topics[name];
  topic.publisher = create_publisher<MessageT>(name, ros2::QoS(kStatusQueueDepth));
  topic.message = MessageT();
}

void PublishRobotStatusROS2::createFloat64MultiArrayPublisher(const std::string& topic,
                                                              const std::vector<double>*) {
  create(float64_array_topics_, topic);
}

void PublishRobotStatusROS2::createJointStatePublisher(const std::string& topic,
                                                       const JointStateRecord*) {
  create(joint_state_topics_, topic);
}

void PublishRobotStatusROS2::createBoolPublisher(const std::string& topic, const bool*) {
  create(bool_topics_, topic);
}

void PublishRobotStatusROS2::createPosePublisher(const std::string& topic, const Eigen::Matrix4d*) {
  create(pose_topics_, topic);
}

void PublishRobotStatusROS2::publishFloat64MultiArray(const std::string& topic,
                                                      const std::vector<double>& data) {
  Topic<std_msgs::msg::Float64MultiArray>& entry = float64_array_topics_.at(topic);
  entry.message.data.assign(data.begin(), data.end());
  entry.publisher->publish(entry.message);
}

void PublishRobotStatusROS2::publishJointState(const std::string& topic,
                                               const JointStateRecord& state) {
  Topic<sensor_msgs::msg::JointState>& entry = joint_state_topics_.at(topic);
  sensor_msgs::msg::JointState& message = entry.message;
  message.header.stamp = clock_.now();
  if (message.header.frame_id.empty()) {
    message.header.frame_id = "base_link";
  }
  const size_t n = state.positions.size();
  if (message.name.size() != n) {
    message.name.clear();
    for (size_t i = 1; i <= n; ++i) {
      message.name.push_back("joint" + std::to_string(i));
    }
  }
  message.position.assign(state.positions.begin(), state.positions.end());
  // Velocities and efforts have the positions' length in a well-formed record; a shorter one is
  // published as it is rather than read past its end.
  message.velocity.assign(state.velocities.begin(),
                          state.velocities.begin() + std::min(n, state.velocities.size()));
  message.effort.assign(state.efforts.begin(),
                        state.efforts.begin() + std::min(n, state.efforts.size()));
  entry.publisher->publish(message);
}

void PublishRobotStatusROS2::publishBool(const std::string& topic, const bool& flag) {
  Topic<std_msgs::msg::Bool>& entry = bool_topics_.at(topic);
  entry.message.data = flag;
  entry.publisher->publish(entry.message);
}

void PublishRobotStatusROS2::publishPose(const std::string& topic, const Eigen::Matrix4d& pose) {
  Topic<geometry_msgs::msg::Pose>& entry = pose_topics_.at(topic);
  entry.message.position.x = pose(0, 3);
  entry.message.position.y = pose(1, 3);
  entry.message.position.z = pose(2, 3);
  entry.message.orientation = quaternion(pose);
  entry.publisher->publish(entry.message);
}

geometry_msgs::msg::Quaternion PublishRobotStatusROS2::quaternion(const Eigen::Matrix4d& pose) {
  // Eigen's conversion from a rotation matrix: the trace branch, else the largest diagonal entry.
  const Eigen::Matrix3d rotation = pose.block<3, 3>(0, 0);
  const Eigen::Quaterniond q(rotation);
  geometry_msgs::msg::Quaternion out;
  out.x = q.x();
  out.y = q.y();
  out.z = q.z();
  out.w = q.w();
  return out;
}

}  // namespace brenvik
