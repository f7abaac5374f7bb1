#pragma once

#include <Eigen/Dense>
#include <array>
#include <vector>

#include "robot_model/robot_model_result.h"

namespace brenvik {

// Forward and inverse kinematics of the arm. Joint values in rad; lengths in the parameter
// file's unit. A pose is a 4 x 4 homogeneous transform (rotation block, translation column).
// After setMdhPara the object is immutable: the const operations may run concurrently on any
// thread.
class KinematicsInterface {
 public:
  // kinematics_result::kOk, kSizeMismatch (vectors not of the arm's joint count) or
  // kWrongArmType (not this arm type). Start-up only, before any other thread uses the object.
  [[nodiscard]] virtual int setMdhPara(const std::vector<double>& zds,
                                       const std::vector<double>& xas,
                                       const std::vector<double>& alphas,
                                       const std::vector<double>& qzeros) = 0;
  // q: at least 5 joint values; the tool-less flange pose in the base frame.
  virtual Eigen::Matrix4d forwardKinematics(const std::vector<double>& q) const = 0;
  // The solution nearest to the reference joints (at least 5 values). kinematics_result::kOk,
  // kSingular (elbow singularity), kNoSolution, or an implementation's own refusal.
  [[nodiscard]] virtual int inverseKinematics(const Eigen::Matrix4d& pose,
                                              const std::vector<double>& ref_joints,
                                              std::vector<double>& joints) const = 0;
  // arm_type = {shoulder, elbow}. kinematics_result::kOk, kSingular or kNoSolution.
  [[nodiscard]] virtual int inverseKinematicsByArmType(const Eigen::Matrix4d& pose,
                                                       const std::array<int, 2>& arm_type,
                                                       std::vector<double>& joints) const = 0;
  virtual int reservedOperation() = 0;
  // Every solution of the arm types {0,0}, {1,0}, {1,1}, {0,1}, in that order. Always 0.
  virtual int getAllInverseSolutions(const Eigen::Matrix4d& pose,
                                     std::vector<std::vector<double>>& solutions) const = 0;

 protected:
  // Implementations are owned and destroyed through their own type.
  ~KinematicsInterface() = default;
};

}  // namespace brenvik
