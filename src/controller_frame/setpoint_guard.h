#pragma once

#include <array>
#include <vector>

#include "robot_factory/utility/robot_para.h"

namespace brenvik {

// Results of SetpointGuard::accept.
namespace setpoint_guard_result {
inline constexpr int kOk = 0;
inline constexpr int kWrongSize = -1;         // not N values
inline constexpr int kNotFinite = -2;         // a value that is not a number
inline constexpr int kOutOfRange = -3;        // outside [min_joint_pos, max_joint_pos], moving out
inline constexpr int kOverVelocity = -4;      // a step beyond max_joint_vel x period
inline constexpr int kOverAcceleration = -5;  // a velocity change beyond the acceleration bound
}  // namespace setpoint_guard_result

// The last gate of every joint setpoint on its way to the motors, whichever step produced it
// (trajectory, stop, drag teaching, hold after enabling or homing).
//
// It keeps the last commanded joint positions and the velocities derived from them (backward
// differences over one period) and accepts a new setpoint only when it is finite, inside
// [min_joint_pos, max_joint_pos] or moving back towards that range, and reachable from the last
// one within max_joint_vel and max(max_joint_acc, emergency_stop_acc) for one period. The bounds
// carry a small tolerance for rounding. A refused setpoint changes nothing; the refusal's axis,
// value and limit are kept for one message.
//
// Joint side: rad, rad/s. N = axis_num. Allocates only at construction. Control thread only.
class SetpointGuard {
 public:
  // Relative tolerance on the velocity and acceleration bounds (rounding of the differences).
  static constexpr double kTolerance = 1e-6;
  // Rounding allowed beyond a joint limit (rad).
  static constexpr double kRangeTolerance = 1e-9;

  // period: the control period (s), > 0.
  SetpointGuard(const RobotPara& para, double period);

  // Takes q (N values) as the commanded state, at rest: the start-up seed, and the re-seed from
  // the measured positions after the drives were off, homed or driven by someone else.
  void reset(const std::vector<double>& q);
  // Checks q (N values) and, when it passes, makes it the last setpoint (velocities updated).
  // setpoint_guard_result::kOk or the first fault found; refusals leave the state unchanged.
  [[nodiscard]] int accept(const std::vector<double>& q);
  // A period in which the setpoint is held (nothing new written): the velocities become 0.
  void hold();

  const std::vector<double>& positions() const { return positions_; }    // rad
  const std::vector<double>& velocities() const { return velocities_; }  // rad/s
  // The acceleration bound of each axis (rad/s²): max(max_joint_acc, emergency_stop_acc).
  double accelerationBound(int axis) const { return acc_bound_[axis]; }
  bool seeded() const { return seeded_; }

  // The last refusal: axis (0-based), offending value, the limit it broke, and its text
  // ("axis 3: step of 0.02 rad is over max_joint_vel x period 0.01 rad").
  int faultAxis() const { return fault_axis_; }
  const char* faultText() const { return fault_text_.data(); }

 private:
  [[nodiscard]] int refuse(int result, int axis, const char* what, double value, double limit);

  std::vector<double> min_pos_;
  std::vector<double> max_pos_;
  std::vector<double> max_step_;   // max_joint_vel x period, rad
  std::vector<double> acc_bound_;  // rad/s²
  double period_;
  std::vector<double> positions_;
  std::vector<double> velocities_;
  bool seeded_ = false;
  int fault_axis_ = -1;
  std::array<char, 192> fault_text_{};
};

}  // namespace brenvik
