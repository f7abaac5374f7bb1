#pragma once

#include <Eigen/Dense>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controller_frame/all_axises_joint_plan_cmd.h"
#include "robot_factory/robot.h"

namespace brenvik {

// Results of JointMoveBuilder.
namespace joint_move_result {
inline constexpr int kOk = 0;
inline constexpr int kWrongSize = -1;           // a point or target without N values
inline constexpr int kNotFinite = -2;           // a value that is not a number
inline constexpr int kOutOfRange = -3;          // a target or point outside its joint limits
inline constexpr int kTooFewPoints = -4;        // a spline without a point after 0 s
inline constexpr int kTimesNotIncreasing = -5;  // spline times not strictly increasing from >= 0
inline constexpr int kStartJump = -6;           // the first point at 0 s is away from the start
inline constexpr int kPlanFailed = -7;          // planAllJoints failed
inline constexpr int kExceedsLimits = -8;       // the planned motion exceeds a limit
inline constexpr int kTooLong = -9;             // longer than the trajectory time limit
inline constexpr int kNoSolution = -10;         // no inverse kinematics solution for a pose
}  // namespace joint_move_result

// A planned joint move ready for the interpolator's queue, or the reason it was refused.
struct JointMove {
  int result = joint_move_result::kOk;
  std::string message;  // why it was refused (one line, ends in "\n")
  std::unique_ptr<AllAxisesJointPlanCmd> cmd;
};

// Validates joint-move requests against the arm's limits and plans them into commands, so that
// nothing the control loop would stop halfway (or drive into a motor limit) is ever queued.
// Joint values in rad, times in s, N = axis_num. Main thread (the command node); planning never
// happens under the interpolator's mutex.
class JointMoveBuilder {
 public:
  using InfoLog = std::function<void(const std::string&)>;

  // info receives the informational lines of planning (the node's INFO log).
  JointMoveBuilder(std::shared_ptr<Robot> robot, InfoLog info);

  // Point-to-point move from start to target with trapezoid profiles, every axis limited by its
  // scaled max_joint_vel and max_joint_acc and synchronised to the slowest. The target must lie
  // inside the joint limits; the start may lie outside them (an arm that settled just beyond a
  // limit is moved back in).
  [[nodiscard]] JointMove pointToPoint(const std::vector<double>& start,
                                       const std::vector<double>& target, double vel_scale,
                                       double acc_scale) const;

  // Move along clamped cubic splines through timed points (points[k] holds at least N joint
  // values; extra values are ignored), one point or more. The motion starts from start at 0 s: a
  // first point after 0 s is reached from it; a first point at 0 s must lie within each axis's
  // joint_pos_error_threshold of start and is replaced by it, so that the reference never jumps.
  // The motion between the points, computed from the spline segments, must stay inside the joint
  // limits (or go no further out than the start) and within max_joint_vel and max_joint_acc.
  [[nodiscard]] JointMove spline(const std::vector<double>& start,
                                 const std::vector<std::vector<double>>& points,
                                 const std::vector<double>& times) const;

  // The 4 x 4 target transform of a position and a quaternion (x, y, z, w), normalised first; a
  // zero quaternion gives the identity rotation.
  static Eigen::Matrix4d poseMatrix(const double position[3], const double quaternion[4]);

  // For each axis, the index of its value in a trajectory point: by name when joint_names is a
  // permutation of joint1..jointN, else the axis's own index.
  static std::vector<int> axisOrder(const std::vector<std::string>& joint_names, int axis_num);

 private:
  [[nodiscard]] int checkJointValues(const std::vector<double>& joints, int point,
                                     std::string& message) const;
  // The planned motion of every axis, from its planner's bounds: inside the joint limits (or
  // never further out than its start), within max_joint_vel and max_joint_acc.
  [[nodiscard]] int checkPlannedMotion(const AllAxisesJointPlanCmd& cmd,
                                       std::string& message) const;

  std::shared_ptr<Robot> robot_;
  InfoLog info_;
  int axis_num_;
};

}  // namespace brenvik
