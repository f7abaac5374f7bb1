#include "controller_frame/publish_robot_status_ros2.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace brenvik
