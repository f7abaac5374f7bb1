#include "controller_frame/publish_robot_status_ros2.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
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

// The status node publishing to a subscriber in the same process over loopback DDS: a joint state
// carries names, frame and values (velocities shorter than the positions as they are), a pose its
// position and orientation. A name of no topic of its kind throws; creating a topic again replaces
// it. The other kinds reach the client of the end-to-end test.
TEST(PublishRobotStatusTest, JointStateAndPoseArrive) {
  ros2_test::use_private_loopback_domain();
  const char* argv[] = {"publish_robot_status_ros2_test"};
  ros2::init(1, argv);
  auto status = std::make_shared<PublishRobotStatusROS2>();
  auto listener = std::make_shared<ros2::Node>("status_listener");
  ros2::Executor executor;
  executor.add_node(listener);
  const auto roundTrip = [&](auto type, const std::string& topic, auto publish) {
    using Msg = decltype(type);
    std::optional<Msg> received;
    auto sub = listener->create_subscription<Msg>(topic, ros2::QoS(10),
                                                  [&received](const Msg& m) { received = m; });
    EXPECT_TRUE(ros2_test::wait_until([&] {
      publish();
      executor.spin_some();
      return received.has_value();
    })) << topic;
    return received.value_or(Msg());
  };
  JointStateRecord record;
  record.positions = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
  record.velocities = {1, 2, 3};
  record.efforts = {-1, -2, -3, -4, -5, -6};
  status->createJointStatePublisher("joints", &record);
  const auto joints = roundTrip(sensor_msgs::msg::JointState(), "joints",
                                [&] { status->publishJointState("joints", record); });
  EXPECT_EQ(joints.name,
            (std::vector<std::string>{"joint1", "joint2", "joint3", "joint4", "joint5", "joint6"}));
  EXPECT_EQ(joints.header.frame_id, "base_link");
  EXPECT_EQ(std::make_tuple(joints.position, joints.velocity, joints.effort),
            std::make_tuple(record.positions, record.velocities, record.efforts));
  EXPECT_GT(joints.header.stamp.sec, 1700000000);  // wall-clock time
  const Eigen::Matrix4d pose = transform(Eigen::Vector3d(-1, -1, 1).asDiagonal());
  status->createPosePublisher("pose", &pose);
  const auto msg =
      roundTrip(geometry_msgs::msg::Pose(), "pose", [&] { status->publishPose("pose", pose); });
  EXPECT_EQ(Eigen::Vector4d(msg.position.x, msg.position.y, msg.position.z, msg.orientation.z),
            Eigen::Vector4d(0.1, 0.2, 0.3, 1.0));

  EXPECT_THROW(status->publishPose("nowhere", pose), std::out_of_range);
  status->createBoolPublisher("flag", nullptr);
  EXPECT_THROW(status->publishFloat64MultiArray("flag", {}), std::out_of_range);
  status->createBoolPublisher("flag", nullptr);
  EXPECT_TRUE(
      roundTrip(std_msgs::msg::Bool(), "flag", [&] { status->publishBool("flag", true); }).data);
  status.reset();
  listener.reset();
  ros2::shutdown();
}

}  // namespace
}  // namespace brenvik
