#include "controller_frame/publish_robot_status_ros2.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "support/ros2_test_env.h"

namespace brenvik {
namespace {

Eigen::Matrix4d transform(const Eigen::Matrix3d& rotation) {
  Eigen::Matrix4d pose = Eigen::Matrix4d::Identity();
  pose.block<3, 3>(0, 0) = rotation;
  pose.block<3, 1>(0, 3) = Eigen::Vector3d(0.1, 0.2, 0.3);
  return pose;
}

// Each branch of the conversion: the identity, half turns about z, x and y (the largest diagonal
// entry decides), and a general rotation.
TEST(PublishRobotStatusQuaternionTest, BranchesOfTheConversion) {
  const Eigen::Quaterniond turn(Eigen::AngleAxisd(0.7, Eigen::Vector3d(1, 2, 3).normalized()));
  const std::pair<Eigen::Matrix3d, Eigen::Quaterniond> cases[] = {
      {Eigen::Matrix3d::Identity(), Eigen::Quaterniond(1, 0, 0, 0)},
      {Eigen::Vector3d(-1, -1, 1).asDiagonal(), Eigen::Quaterniond(0, 0, 0, 1)},
      {Eigen::Vector3d(1, -1, -1).asDiagonal(), Eigen::Quaterniond(0, 1, 0, 0)},
      {Eigen::Vector3d(-1, 1, -1).asDiagonal(), Eigen::Quaterniond(0, 0, 1, 0)},
      {turn.toRotationMatrix(), turn}};
  for (const auto& c : cases) {
    const auto q = PublishRobotStatusROS2::quaternion(transform(c.first));
    EXPECT_TRUE(Eigen::Vector4d(q.x, q.y, q.z, q.w).isApprox(c.second.coeffs(), 1e-12)) << c.first;
  }
}

// A joint state carries names and frame, velocities shorter than the positions as they are, a
// pose its position and orientation (the end-to-end client sees every kind of topic arrive). A
// name of no topic of its kind throws; creating a topic again replaces it.
TEST(PublishRobotStatusTest, JointStateAndPoseOverDds) {
  ros2_test::use_private_loopback_domain();
  const char* argv[] = {"publish_robot_status_ros2_test"};
  ros2::init(1, argv);
  auto status = std::make_shared<PublishRobotStatusROS2>();
  auto listener = std::make_shared<ros2::Node>("status_listener");
  ros2::Executor executor;
  executor.add_node(listener);
  sensor_msgs::msg::JointState joints;
  geometry_msgs::msg::Pose pose;
  auto a = listener->create_subscription<sensor_msgs::msg::JointState>(
      "joints", ros2::QoS(10), [&](const sensor_msgs::msg::JointState& m) { joints = m; });
  auto b = listener->create_subscription<geometry_msgs::msg::Pose>(
      "pose", ros2::QoS(10), [&](const geometry_msgs::msg::Pose& m) { pose = m; });
  JointStateRecord record;
  record.positions = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
  record.velocities = {1, 2, 3};
  const Eigen::Matrix4d tcp = transform(Eigen::Vector3d(-1, -1, 1).asDiagonal());
  status->createJointStatePublisher("joints", &record);
  status->createPosePublisher("pose", &tcp);
  EXPECT_THROW(status->publishPose("nowhere", tcp), std::out_of_range);
  EXPECT_THROW(status->publishFloat64MultiArray("joints", {}), std::out_of_range);
  status->createPosePublisher("pose", &tcp);
  EXPECT_TRUE(ros2_test::wait_until([&] {
    status->publishJointState("joints", record);
    status->publishPose("pose", tcp);
    executor.spin_some();
    return !joints.name.empty() && pose.orientation.z == 1.0;
  }));
  EXPECT_EQ(joints.name,
            (std::vector<std::string>{"joint1", "joint2", "joint3", "joint4", "joint5", "joint6"}));
  EXPECT_EQ(std::make_tuple(joints.header.frame_id, joints.position, joints.velocity),
            std::make_tuple(std::string("base_link"), record.positions, record.velocities));
  EXPECT_EQ(Eigen::Vector3d(pose.position.x, pose.position.y, pose.position.z),
            Eigen::Vector3d(0.1, 0.2, 0.3));
  status.reset();
  listener.reset();
  ros2::shutdown();
}

}  // namespace
}  // namespace brenvik
