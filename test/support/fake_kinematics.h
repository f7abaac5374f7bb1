#pragma once

#include "robot_model/kinematics_interface.h"

namespace brenvik::testing {

// Kinematics stand-in: the pose is the identity rotation with the first three joints as
// translation. Inverse kinematics copies the translation back.
class FakeKinematics : public KinematicsInterface {
 public:
  virtual ~FakeKinematics() = default;
  int setMdhPara(const std::vector<double>&, const std::vector<double>&, const std::vector<double>&,
                 const std::vector<double>&) override {
    return 0;
  }
  Eigen::Matrix4d forwardKinematics(const std::vector<double>& q) const override {
    Eigen::Matrix4d pose = Eigen::Matrix4d::Identity();
    for (size_t i = 0; i < 3 && i < q.size(); ++i) {
      pose(static_cast<Eigen::Index>(i), 3) = q[i];
    }
    return pose;
  }
  int inverseKinematics(const Eigen::Matrix4d& pose, const std::vector<double>& ref_joints,
                        std::vector<double>& joints) const override {
    joints = ref_joints;
    for (size_t i = 0; i < 3 && i < joints.size(); ++i) {
      joints[i] = pose(static_cast<Eigen::Index>(i), 3);
    }
    return 0;
  }
  int inverseKinematicsByArmType(const Eigen::Matrix4d& pose, const std::array<int, 2>&,
                                 std::vector<double>& joints) const override {
    return inverseKinematics(pose, joints, joints);
  }
  int reservedOperation() override { return 0; }
  int getAllInverseSolutions(const Eigen::Matrix4d&,
                             std::vector<std::vector<double>>& solutions) const override {
    solutions.clear();
    return 0;
  }
};

}  // namespace brenvik::testing
