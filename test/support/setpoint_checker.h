#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "robot_factory/utility/robot_para.h"

namespace brenvik::testing {

// Watches the joint setpoints a loop commands, one call per control period, and records every
// period that breaks the motion rules: a setpoint that is not finite, outside
// [min_joint_pos, max_joint_pos] unless it moves back towards the range, a step beyond
// max_joint_vel·dt, or a change of velocity beyond max(max_joint_acc, emergency_stop_acc)·dt.
// The bounds carry a relative tolerance for rounding. N = axis_num, joint side, rad.
class SetpointChecker {
 public:
  explicit SetpointChecker(const RobotPara& para, double tolerance = 1e-6)
      : axes_(para.axis_paras), tolerance_(tolerance) {}

  // q: the setpoint commanded this period (N values, rad); dt: the period (s).
  void check(const std::vector<double>& q, double dt) {
    last_v_.resize(q.size(), 0.0);
    for (size_t i = 0; i < axes_.size() && i < q.size(); ++i) {
      const AxisPara& axis = axes_[i];
      if (!std::isfinite(q[i])) {
        record(i, "setpoint is not finite", q[i], 0.0);
        continue;
      }
      if (!has_last_) continue;
      const double step = q[i] - last_q_[i];
      const bool below = q[i] < axis.min_joint_pos - tolerance_ && step < 0.0;
      const bool above = q[i] > axis.max_joint_pos + tolerance_ && step > 0.0;
      if (below || above) {
        record(i, "setpoint leaves the joint range", q[i],
               below ? axis.min_joint_pos : axis.max_joint_pos);
      }
      const double v = step / dt;
      if (std::abs(v) > axis.max_joint_vel * (1.0 + tolerance_) + tolerance_) {
        record(i, "velocity over max_joint_vel", v, axis.max_joint_vel);
      }
      if (has_velocity_) {
        const double a = (v - last_v_[i]) / dt;
        const double a_max = std::max(axis.max_joint_acc, axis.emergency_stop_acc);
        if (std::abs(a) > a_max * (1.0 + tolerance_) + tolerance_ / dt) {
          record(i, "acceleration over max(max_joint_acc, emergency_stop_acc)", a, a_max);
        }
      }
      last_v_[i] = v;
    }
    has_velocity_ = has_last_;
    has_last_ = true;
    last_q_ = q;
    ++periods_;
  }

  // Forgets the last setpoint: the next check starts a new stream (drives off, a restart).
  void restart() { has_last_ = has_velocity_ = false; }

  size_t violations() const { return violations_; }
  size_t periods() const { return periods_; }
  // "axis 2 period 17: velocity over max_joint_vel (2.31 > 2)", or "" when all were kept.
  const std::string& firstViolation() const { return first_; }

 private:
  void record(size_t axis, const char* what, double value, double limit) {
    if (violations_++ == 0) {
      char text[160];
      std::snprintf(text, sizeof(text), "axis %zu period %zu: %s (%.9g against %.9g)", axis + 1,
                    periods_, what, value, limit);
      first_ = text;
    }
  }

  std::vector<AxisPara> axes_;
  double tolerance_;
  std::vector<double> last_q_;
  std::vector<double> last_v_;
  bool has_last_ = false;
  bool has_velocity_ = false;
  size_t violations_ = 0;
  size_t periods_ = 0;
  std::string first_;
};

}  // namespace brenvik::testing
