#include "controller_frame/cubic_planner.h"

#include <cmath>
#include <cstdio>

#include "common/logger.h"
#include "controller_frame/motion_codes.h"

namespace brenvik {

void CubicPlanner::setInput(const TrapezoidPlannerInput* /*input*/) { input_valid_ = false; }

void CubicPlanner::setInput(const CubicPlannerInput* input) {
  input_valid_ = input != nullptr;
  if (input == nullptr) {
    return;
  }
  input_ = *input;
  knot_num_ = static_cast<int>(input_.times.size());
  last_time_ = input_.times.empty() ? 0.0 : input_.times.back();
  last_position_ = input_.positions.empty() ? 0.0 : input_.positions.back();
}

int CubicPlanner::validateInput() const {
  if (!input_valid_) {
    Logger::instance()->print("CubicPlanner has no cubic input\n");
    return planner_result::kInvalidInput;
  }
  const size_t n = input_.times.size();
  if (input_.positions.size() != n) {
    Logger::instance()->print("CubicPlanner has %zu positions but %zu times\n",
                              input_.positions.size(), n);
    return planner_result::kInvalidInput;
  }
  if (n < 2) {
    Logger::instance()->print("CubicPlanner needs at least 2 knots, got %zu\n", n);
    return planner_result::kInvalidInput;
  }
  for (size_t i = 0; i < n; ++i) {
    if (!std::isfinite(input_.times[i])) {
      Logger::instance()->print("CubicPlanner time %zu=%g is not finite\n", i, input_.times[i]);
      return planner_result::kInvalidInput;
    }
    if (!std::isfinite(input_.positions[i])) {
      Logger::instance()->print("CubicPlanner position %zu=%g is not finite\n", i,
                                input_.positions[i]);
      return planner_result::kInvalidInput;
    }
    if (i > 0 && !(input_.times[i] > input_.times[i - 1])) {
      Logger::instance()->print("CubicPlanner time %zu=%g does not follow time %zu=%g\n", i,
                                input_.times[i], i - 1, input_.times[i - 1]);
      return planner_result::kInvalidInput;
    }
  }
  return planner_result::kOk;
}

int CubicPlanner::plan() {
  planned_ = false;
  if (const int r = validateInput(); r != planner_result::kOk) {
    return r;
  }
  const int n = knot_num_;
  knot_times_ = input_.times;
  knot_positions_ = input_.positions;
  second_derivatives_.assign(n, 0.0);
  const std::vector<double>& x = knot_times_;
  const std::vector<double>& y = knot_positions_;

  std::vector<double> h(n - 1);
  std::vector<double> s(n - 1);
  for (int i = 0; i < n - 1; ++i) {
    h[i] = x[i + 1] - x[i];
    s[i] = (y[i + 1] - y[i]) / h[i];
  }
  // Tridiagonal system of the clamped spline (zero end velocities), diagonal 2.
  std::vector<double> lower(n, 0.0);
  std::vector<double> upper(n, 0.0);
  std::vector<double> rhs(n, 0.0);
  upper[0] = 1.0;
  rhs[0] = 6.0 * s[0] / h[0];
  for (int i = 1; i < n - 1; ++i) {
    const double span = h[i - 1] + h[i];
    lower[i] = h[i - 1] / span;
    upper[i] = h[i] / span;
    rhs[i] = 6.0 * (s[i] - s[i - 1]) / span;
  }
  lower[n - 1] = 1.0;
  rhs[n - 1] = 6.0 * (0.0 - s[n - 2]) / h[n - 2];

  // Thomas algorithm.
  std::vector<double> beta(n, 0.0);
  std::vector<double> z(n, 0.0);
  beta[0] = upper[0] / 2.0;
  z[0] = rhs[0] / 2.0;
  for (int i = 1; i < n; ++i) {
    const double pivot = 2.0 - lower[i] * beta[i - 1];
    if (i < n - 1) {
      beta[i] = upper[i] / pivot;
    }
    z[i] = (rhs[i] - lower[i] * z[i - 1]) / pivot;
  }
  std::vector<double>& m = second_derivatives_;
  m[n - 1] = z[n - 1];
  for (int i = n - 2; i >= 0; --i) {
    m[i] = z[i] - beta[i] * m[i + 1];
  }
  for (int i = 0; i < n; ++i) {
    if (!std::isfinite(m[i])) {
      Logger::instance()->print("CubicPlanner second derivative %d is not finite\n", i);
      return planner_result::kInvalidInput;
    }
  }
  planned_ = true;
  Logger::instance()->print("CubicPlanner::plan finish!\n");
  return planner_result::kOk;
}

double CubicPlanner::calPosition(double t, int* reached) const {
  if (reached != nullptr) {
    *reached = 0;
  }
  if (!planned_) {
    return std::nan("");
  }
  if (t > last_time_) {
    if (reached != nullptr) {
      *reached = 1;
    }
    return last_position_;
  }
  const std::vector<double>& x = knot_times_;
  const std::vector<double>& y = knot_positions_;
  const std::vector<double>& m = second_derivatives_;
  int lo = 0;
  int hi = knot_num_ - 1;
  while (hi - lo > 1) {
    const int k = (lo + hi) / 2;
    if (x[k] > t) {
      hi = k;
    } else {
      lo = k;
    }
  }
  const double h = x[hi] - x[lo];
  const double a = (x[hi] - t) / h;
  const double b = (t - x[lo]) / h;
  return a * y[lo] + b * y[hi] + ((a * a * a - a) * m[lo] + (b * b * b - b) * m[hi]) * h * h / 6.0;
}

MotionBounds CubicPlanner::motionBounds() const {
  if (!planned_) {
    const double nan = std::nan("");
    return {nan, nan, nan, nan, nan, nan, nan, nan};
  }
  const std::vector<double>& x = knot_times_;
  const std::vector<double>& y = knot_positions_;
  const std::vector<double>& m = second_derivatives_;
  MotionBounds b;
  b.min_position = b.max_position = y[0];
  b.min_position_time = b.max_position_time = x[0];
  b.max_speed_time = b.max_acceleration_time = x[0];
  for (int i = 0; i + 1 < knot_num_; ++i) {
    const double h = x[i + 1] - x[i];
    const double slope = (y[i + 1] - y[i]) / h;
    // On the segment, with B = (t − x_i) / h and A = 1 − B:
    //   q   = A·y_i + B·y_i+1 + ((A³ − A)·M_i + (B³ − B)·M_i+1)·h² / 6
    //   q'  = slope − h/6·((2·M_i + M_i+1) − 6·B·M_i + 3·B²·(M_i − M_i+1))
    //   q'' = A·M_i + B·M_i+1
    const auto position = [&](double s) {
      const double a = 1.0 - s;
      return a * y[i] + s * y[i + 1] +
             ((a * a * a - a) * m[i] + (s * s * s - s) * m[i + 1]) * h * h / 6.0;
    };
    const auto velocity = [&](double s) {
      return slope -
             h / 6.0 * ((2.0 * m[i] + m[i + 1]) - 6.0 * s * m[i] + 3.0 * s * s * (m[i] - m[i + 1]));
    };
    const auto consider = [&](double s) {
      if (!(s >= 0.0 && s <= 1.0)) {
        return;
      }
      const double t = x[i] + s * h;
      const double q = position(s);
      if (q < b.min_position) {
        b.min_position = q;
        b.min_position_time = t;
      }
      if (q > b.max_position) {
        b.max_position = q;
        b.max_position_time = t;
      }
      const double v = std::fabs(velocity(s));
      if (v > b.max_speed) {
        b.max_speed = v;
        b.max_speed_time = t;
      }
    };
    consider(0.0);
    consider(1.0);
    // Velocity extremum: where the acceleration crosses zero.
    if (m[i] != m[i + 1]) {
      consider(m[i] / (m[i] - m[i + 1]));
    }
    // Position extrema: where the velocity, a quadratic in B, is zero.
    const double c2 = -0.5 * h * (m[i] - m[i + 1]);
    const double c1 = h * m[i];
    const double c0 = slope - h * (2.0 * m[i] + m[i + 1]) / 6.0;
    if (c2 == 0.0) {
      if (c1 != 0.0) {
        consider(-c0 / c1);
      }
    } else {
      const double discriminant = c1 * c1 - 4.0 * c2 * c0;
      if (discriminant >= 0.0) {
        const double root = std::sqrt(discriminant);
        consider((-c1 + root) / (2.0 * c2));
        consider((-c1 - root) / (2.0 * c2));
      }
    }
  }
  for (int i = 0; i < knot_num_; ++i) {
    if (std::fabs(m[i]) > b.max_acceleration) {
      b.max_acceleration = std::fabs(m[i]);
      b.max_acceleration_time = x[i];
    }
  }
  return b;
}

int CubicPlanner::rePlan(const TrapezoidPlanResult* /*reference*/) { return planner_result::kOk; }

int CubicPlanner::getStartAndGoal(double* start, double* goal) const {
  if (input_.positions.empty()) {
    Logger::instance()->print("get start and goal error.\n");
    return -1;
  }
  *start = input_.positions.front();
  *goal = input_.positions.back();
  return 0;
}

}  // namespace brenvik
