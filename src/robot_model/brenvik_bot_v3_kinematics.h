#pragma once

#include <Eigen/Dense>
#include <array>
#include <vector>

#include "robot_model/kinematics_interface.h"

namespace brenvik {

// Kinematics of the five-joint arm type with link twists (0, π/2, 0, 0, −π/2), described by
// modified (Craig) Denavit-Hartenberg parameters.
//
// setMdhPara is called once at start-up on the main thread; afterwards the object is immutable
// and every const operation may run concurrently on any thread (state lives on the stack).
// Joint vectors: at least 5 values in rad (only the first 5 are read); a shorter vector throws
// std::invalid_argument. Lengths in the parameter file's unit. The inverse kinematics prints its
// solution ("armtype=[s,e]" and the joint values) and its failures on standard output.
class BrenvikBotV3Kinematics final : public KinematicsInterface {
 public:
  static constexpr int kJointCount = 5;
  // |θ3| below this (rad) is the elbow singularity.
  static constexpr double kJ3SingularityThreshold = 0.0004;

  BrenvikBotV3Kinematics();

  // Vectors of exactly 5 values: link offsets d, link lengths a, link twists α (rad), joint zero
  // offsets (rad). Twists must match (0, π/2, 0, 0, −π/2) within one degree. Prints the stored
  // table on success; on failure prints the reason and keeps the previous parameters.
  // Returns kinematics_result::kOk, kSizeMismatch or kWrongArmType.
  [[nodiscard]] int setMdhPara(const std::vector<double>& zds, const std::vector<double>& xas,
                               const std::vector<double>& alphas,
                               const std::vector<double>& qzeros) override;

  // Flange pose T0·T1·T2·T3·T4 in the base frame; no tool transform. Allocates nothing.
  Eigen::Matrix4d forwardKinematics(const std::vector<double>& q) const override;

  // Shoulder solution 1 when ref_joints[0] lies in (−π/2, π/2), elbow solution 1 when
  // ref_joints[2] > −π/2; ref_joints needs at least 3 values.
  [[nodiscard]] int inverseKinematics(const Eigen::Matrix4d& pose,
                                      const std::vector<double>& ref_joints,
                                      std::vector<double>& joints) const override;

  // Closed-form solution, exact for zd1 = zd2 = zd3 = xa0 = 0. arm_type[0] == 1 puts joint 1 in
  // [−π/2, π/2] (shoulder in front), any other value outside; arm_type[1] == 1 selects the elbow
  // solution with asin, any other value the one with π − asin. joints receives 5 values on
  // kOk and on kNoSolution (then some are NaN or infinite); kSingular leaves it untouched.
  [[nodiscard]] int inverseKinematicsByArmType(const Eigen::Matrix4d& pose,
                                               const std::array<int, 2>& arm_type,
                                               std::vector<double>& joints) const override;

  int reservedOperation() override;

  // Solutions of the arm types {0,0}, {1,0}, {1,1}, {0,1} that succeed, in that order (zero to
  // four). Always kinematics_result::kOk.
  int getAllInverseSolutions(const Eigen::Matrix4d& pose,
                             std::vector<std::vector<double>>& solutions) const override;

 private:
  using LinkValues = std::array<double, kJointCount>;

  static const LinkValues kAlphaTemplate;
  // Joint offsets between the closed form's own angles and the MDH joint angles.
  static const LinkValues kInverseOffsets;

  LinkValues zds_{};
  LinkValues xas_{};
  LinkValues alphas_{};
  LinkValues qzeros_{};
  LinkValues cos_alphas_{};
  LinkValues sin_alphas_{};
  // kInverseOffsets[i] − qzeros_[i]: added to the closed form's angles to give joint values.
  LinkValues output_offsets_{};
};

}  // namespace brenvik
