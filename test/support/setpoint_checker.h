#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "robot_factory/utility/robot_para.h"

namespace brenvik::testing {

// Counts breaks of the motion rules in a loop's setpoints, one check a period: not finite, leaving
// [min_joint_pos, max_joint_pos] (moving back in is allowed), a step beyond max_joint_vel·dt, a
// velocity change beyond max(max_joint_acc, emergency_stop_acc)·dt; rounding is tolerated.
class SetpointChecker {
 public:
  explicit SetpointChecker(const RobotPara& para, double tolerance = 1e-6)
      : axes_(para.axis_paras), tol_(tolerance) {}

  // q: this period's setpoint (N = axis_num joint values, rad); dt: the period (s).
  void check(const std::vector<double>& q, double dt) {
    last_v_.resize(q.size(), 0.0);
    for (size_t i = 0; i < axes_.size() && i < q.size(); ++i) {
      const AxisPara& axis = axes_[i];
      const double v = has_last_ ? (q[i] - last_q_[i]) / dt : 0.0;
      const double a_max = std::max(axis.max_joint_acc, axis.emergency_stop_acc);
      if (!std::isfinite(q[i])) record(i, "setpoint is not finite", q[i], v);
      if ((q[i] < axis.min_joint_pos - tol_ && v < 0.0) ||
          (q[i] > axis.max_joint_pos + tol_ && v > 0.0)) {
        record(i, "setpoint leaves the joint range", q[i], v);
      }
      if (std::abs(v) > axis.max_joint_vel * (1.0 + tol_) + tol_)
        record(i, "velocity over its limit", q[i], v);
      if (has_v_ && std::abs(v - last_v_[i]) / dt > a_max * (1.0 + tol_) + tol_ / dt) {
        record(i, "acceleration over its bound", q[i], v);
      }
      last_v_[i] = v;
    }
    has_v_ = has_last_, has_last_ = true, last_q_ = q, ++periods_;
  }
  // Forgets the last setpoint: the next check starts a new stream (drives off, homed).
  void restart() { has_last_ = has_v_ = false; }

  size_t violations() const { return violations_; }
  const std::string& firstViolation() const { return first_; }  // "axis 2 period 17: ..."

 private:
  void record(size_t axis, const char* what, double q, double v) {
    if (violations_++ > 0) return;
    first_ = "axis " + std::to_string(axis + 1) + " period " + std::to_string(periods_) + ": " +
             what + " (" + std::to_string(q) + " rad, " + std::to_string(v) + " rad/s)";
  }

  std::vector<AxisPara> axes_;
  double tol_;
  std::vector<double> last_q_, last_v_;
  bool has_last_ = false, has_v_ = false;
  size_t violations_ = 0, periods_ = 0;
  std::string first_;
};

}  // namespace brenvik::testing
