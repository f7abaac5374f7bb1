#include "controller_frame/publish_robot_status_ros2.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "support/ros2_test_env.h"

namespace brenvik {
namespace {

Eigen::Matrix4d transform(const Eigen::Matrix3d& rotation, const Eigen::Vector3d& translation) {
  Eigen::Matrix4d pose = Eigen::Matrix4d::Identity();
  pose.block<3, 3>(0, 0) = rotation;
  pose.block<3, 1>(0, 3) = translation;
  return pose;
}

bool sameQuaternion(const geometry_msgs::msg::Quaternion& q, const Eigen::Quaterniond& e) {
  return std::fabs(q.x - e.x()) < 1e-12 && std::fabs(q.y - e.y()) < 1e-12 &&
         std::fabs(q.z - e.z()) < 1e-12 && std::fabs(q.w - e.w()) < 1e-12;
}

// Every branch of the conversion: the identity, half turns about z, x and y (the largest diagonal
// entry decides), and a general rotation.
TEST(PublishRobotStatusQuaternionTest, BranchesOfTheConversion) {
  const Eigen::Quaterniond turn(Eigen::AngleAxisd(0.7, Eigen::Vector3d(1, 2, 3).normalized()));
  const std::vector<std::pair<Eigen::Matrix3d, Eigen::Quaterniond>> cases = {
      {Eigen::Matrix3d::Identity(), Eigen::Quaterniond(1, 0, 0, 0)},
      {Eigen::Vector3d(-1, -1, 1).asDiagonal(), Eigen::Quaterniond(0, 0, 0, 1)},
      {Eigen::Vector3d(1, -1, -1).asDiagonal(), Eigen::Quaterniond(0, 1, 0, 0)},
      {Eigen::Vector3d(-1, 1, -1).asDiagonal(), Eigen::Quaterniond(0, 0, 1, 0)},
      {turn.toRotationMatrix(), turn}};
  for (const auto& [rotation, expected] : cases) {
    const auto q = PublishRobotStatusROS2::quaternion(transform(rotation, Eigen::Vector3d::Zero()));
    EXPECT_TRUE(sameQuaternion(q, expected)) << rotation;
  }
}

// The status node publishing to a subscriber node in the same process over loopback DDS.
class PublishRobotStatusTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!ros2::ok()) {
      ros2_test::use_private_loopback_domain();
      const char* argv[] = {"publish_robot_status_ros2_test"};
      ros2::init(1, argv);
    }
  }

  void SetUp() override {
    status_node_ = std::make_shared<PublishRobotStatusROS2>();
    listener_ = std::make_shared<ros2::Node>("status_listener");
    executor_.add_node(listener_);
  }

  // Subscribes to topic, publishes with publish() until a sample arrives; returns it.
  template <class MessageT, class Publish>
  std::optional<MessageT> roundTrip(const std::string& topic, Publish publish) {
    std::optional<MessageT> received;
    auto sub = listener_->create_subscription<MessageT>(
        topic, ros2::QoS(10), [&received](const MessageT& msg) { received = msg; });
    ros2_test::wait_until([&] {
      publish();
      executor_.spin_some();
      return received.has_value();
    });
    return received;
  }

  std::shared_ptr<PublishRobotStatusROS2> status_node_;
  std::shared_ptr<ros2::Node> listener_;
  ros2::Executor executor_;
};

// Velocities shorter than the positions are published as they are.
TEST_F(PublishRobotStatusTest, JointStateCarriesNamesFrameAndValues) {
  JointStateRecord record;
  record.positions = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
  record.velocities = {1, 2, 3};
  record.accelerations = {9, 9, 9, 9, 9, 9};
  record.efforts = {-1, -2, -3, -4, -5, -6};
  status_node_->createJointStatePublisher("current_actual_joint", &record);
  const auto before = std::chrono::system_clock::now();
  const auto msg = roundTrip<sensor_msgs::msg::JointState>("current_actual_joint", [&] {
    status_node_->publishJointState("current_actual_joint", record);
  });
  ASSERT_TRUE(msg.has_value());
  EXPECT_EQ(msg->name,
            (std::vector<std::string>{"joint1", "joint2", "joint3", "joint4", "joint5", "joint6"}));
  EXPECT_EQ(msg->header.frame_id, "base_link");
  EXPECT_EQ(msg->position, record.positions);
  EXPECT_EQ(msg->velocity, record.velocities);
  EXPECT_EQ(msg->effort, record.efforts);
  // Wall-clock stamp.
  const double stamp = msg->header.stamp.sec + msg->header.stamp.nanosec * 1e-9;
  EXPECT_GE(stamp + 1.0, std::chrono::duration<double>(before.time_since_epoch()).count());
}

TEST_F(PublishRobotStatusTest, ArraysBoolsAndPoses) {
  for (const std::vector<double>& values : {std::vector<double>{1.5, -2.5, 3.5}, {}}) {
    status_node_->createFloat64MultiArrayPublisher("collision_data", &values);
    const auto array = roundTrip<std_msgs::msg::Float64MultiArray>("collision_data", [&] {
      status_node_->publishFloat64MultiArray("collision_data", values);
    });
    ASSERT_TRUE(array.has_value());
    EXPECT_EQ(array->data, values);
    EXPECT_TRUE(array->layout.dim.empty());
  }

  status_node_->createBoolPublisher("enable_flag", nullptr);
  const auto boolean = roundTrip<std_msgs::msg::Bool>(
      "enable_flag", [&] { status_node_->publishBool("enable_flag", true); });
  ASSERT_TRUE(boolean.has_value());
  EXPECT_TRUE(boolean->data);

  const Eigen::Matrix4d pose =
      transform(Eigen::Vector3d(-1, -1, 1).asDiagonal(), Eigen::Vector3d(0.1, 0.2, 0.3));
  status_node_->createPosePublisher("tcp_pose", &pose);
  const auto msg = roundTrip<geometry_msgs::msg::Pose>(
      "tcp_pose", [&] { status_node_->publishPose("tcp_pose", pose); });
  ASSERT_TRUE(msg.has_value());
  EXPECT_EQ(msg->position.x, 0.1);
  EXPECT_EQ(msg->position.y, 0.2);
  EXPECT_EQ(msg->position.z, 0.3);
  EXPECT_TRUE(sameQuaternion(msg->orientation, Eigen::Quaterniond(0, 0, 0, 1)));
}

// Publishing to a name of no topic of its kind throws; creating a topic again replaces it.
TEST_F(PublishRobotStatusTest, TopicsNeverCreatedThrowAndRecreatingReplaces) {
  EXPECT_THROW(status_node_->publishPose("nowhere", Eigen::Matrix4d::Identity()),
               std::out_of_range);
  status_node_->createBoolPublisher("flag", nullptr);
  EXPECT_THROW(status_node_->publishFloat64MultiArray("flag", {}), std::out_of_range);
  status_node_->createBoolPublisher("flag", nullptr);
  const auto msg =
      roundTrip<std_msgs::msg::Bool>("flag", [&] { status_node_->publishBool("flag", false); });
  ASSERT_TRUE(msg.has_value());
  EXPECT_FALSE(msg->data);
}

}  // namespace
}  // namespace brenvik
