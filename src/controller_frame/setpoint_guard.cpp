#include "controller_frame/setpoint_guard.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace brenvik {

SetpointGuard::SetpointGuard(const RobotPara& para, double period) : period_(period) {
  const size_t n = para.axis_paras.size();
  min_pos_.reserve(n);
  max_pos_.reserve(n);
  max_step_.reserve(n);
  acc_bound_.reserve(n);
  for (const AxisPara& axis : para.axis_paras) {
    min_pos_.push_back(axis.min_joint_pos);
    max_pos_.push_back(axis.max_joint_pos);
    max_step_.push_back(axis.max_joint_vel * period);
    // A stop decelerates at emergency_stop_acc, which may be harder than max_joint_acc.
    acc_bound_.push_back(std::max(axis.max_joint_acc, axis.emergency_stop_acc));
  }
  positions_.assign(n, 0.0);
  velocities_.assign(n, 0.0);
}

void SetpointGuard::reset(const std::vector<double>& q) {
  if (q.size() != positions_.size()) {
    return;
  }
  positions_ = q;
  std::fill(velocities_.begin(), velocities_.end(), 0.0);
  seeded_ = true;
}

void SetpointGuard::hold() { std::fill(velocities_.begin(), velocities_.end(), 0.0); }

int SetpointGuard::refuse(int result, int axis, const char* what, double value, double limit) {
  fault_axis_ = axis;
  std::snprintf(fault_text_.data(), fault_text_.size(), "axis %d: %s %.9g, limit %.9g", axis + 1,
                what, value, limit);
  return result;
}

int SetpointGuard::accept(const std::vector<double>& q) {
  const size_t n = positions_.size();
  if (q.size() != n) {
    return refuse(setpoint_guard_result::kWrongSize, 0,
                  "setpoint holds values:", static_cast<double>(q.size()), static_cast<double>(n));
  }
  for (size_t i = 0; i < n; ++i) {
    const int axis = static_cast<int>(i);
    if (!std::isfinite(q[i])) {
      return refuse(setpoint_guard_result::kNotFinite, axis, "setpoint is not finite:", q[i], 0.0);
    }
    if (!seeded_) {
      continue;
    }
    const double step = q[i] - positions_[i];
    // Outside the range only a setpoint that holds or moves back towards it passes: an arm that
    // settled just beyond a limit can be moved back in.
    if (q[i] < min_pos_[i] - kRangeTolerance && step < 0.0) {
      return refuse(setpoint_guard_result::kOutOfRange, axis, "setpoint below min_joint_pos:", q[i],
                    min_pos_[i]);
    }
    if (q[i] > max_pos_[i] + kRangeTolerance && step > 0.0) {
      return refuse(setpoint_guard_result::kOutOfRange, axis, "setpoint above max_joint_pos:", q[i],
                    max_pos_[i]);
    }
    if (std::fabs(step) > max_step_[i] * (1.0 + kTolerance) + 1e-12) {
      return refuse(setpoint_guard_result::kOverVelocity, axis,
                    "step (rad) over max_joint_vel x period:", step, max_step_[i]);
    }
    const double dv = step / period_ - velocities_[i];
    if (std::fabs(dv) > acc_bound_[i] * period_ * (1.0 + kTolerance) + 1e-9) {
      return refuse(setpoint_guard_result::kOverAcceleration, axis,
                    "acceleration (rad/s^2) over its bound:", dv / period_, acc_bound_[i]);
    }
  }
  for (size_t i = 0; i < n; ++i) {
    velocities_[i] = seeded_ ? (q[i] - positions_[i]) / period_ : 0.0;
    positions_[i] = q[i];
  }
  seeded_ = true;
  return setpoint_guard_result::kOk;
}

}  // namespace brenvik
