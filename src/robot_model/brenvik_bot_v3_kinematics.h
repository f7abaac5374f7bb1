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
  // A solution reaches a pose when its forward kinematics lies within this distance (file length
  // unit) and this rotation angle (rad) of it.
  static constexpr double kPoseTolerance = 1e-4;

  BrenvikBotV3Kinematics();

  // Vectors of exactly 5 values: link offsets d, link lengths a, link twists α (rad), joint zero
  // offsets (rad). Twists must match (0, π/2, 0, 0, −π/2) within one degree. Prints the stored
  // table on success; on failure prints the reason and keeps the previous parameters.
  // Returns kinematics_result::kOk, kSizeMismatch or kWrongArmType.
  [[nodiscard]] int setMdhPara(const std::vector<double>& zds, const std::vector<double>& xas,
                               const std::vector<double>& alphas,
                               const std::vector<double>& qzeros) override;

  // Joint limits (rad, 5 values each, min <= max) that inverseKinematics keeps its solutions in.
  // Without them every solution counts. Start-up only, like setMdhPara. kinematics_result::kOk,
  // or kSizeMismatch (vectors not of 5 values, or a min above its max: limits unchanged).
  [[nodiscard]] int setJointLimits(const std::vector<double>& min_joints,
                                   const std::vector<double>& max_joints);

  // Flange pose T0·T1·T2·T3·T4 in the base frame; no tool transform. Allocates nothing.
  Eigen::Matrix4d forwardKinematics(const std::vector<double>& q) const override;

  // Of the solutions of all four arm types, those that reach the pose (kPoseTolerance) with every
  // joint, wrapped to (−π, π], inside the joint limits: the one nearest to ref_joints (least sum
  // of squared joint differences; ref_joints needs at least 5 values), wrapped to (−π, π]. Prints
  // the arm type and the solution, or why there is none. kinematics_result::kOk;
  // kUnreachableOrientation when the solutions miss the pose's orientation; kOutsideJointLimits
  // when every solution that reaches it leaves the joint limits; kSingular when the elbow is at
  // its singularity; kNoSolution when the position is out of reach. joints is written on kOk only.
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

  // The closed form for one arm type, without printing: joint values (not wrapped) into joints.
  // kOk, kSingular (joints untouched) or kNoSolution (joints then holds non-finite values).
  [[nodiscard]] int solve(const Eigen::Matrix4d& pose, const std::array<int, 2>& arm_type,
                          LinkValues& joints) const;
  // The flange pose of 5 joint values.
  Eigen::Matrix4d flange(const double* q) const;
  // "armtype=[s,e]" and the joint values, one line each.
  static void printSolution(const std::array<int, 2>& arm_type, const std::vector<double>& joints);

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
  LinkValues min_joints_;
  LinkValues max_joints_;
};

}  // namespace brenvik
