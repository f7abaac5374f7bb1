#include "controller_frame/cubic_planner.h"

#include <cmath>
#include <cstdio>
#include <iostream>

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
    std::printf("CubicPlanner has no cubic input\n");
    return planner_result::kInvalidInput;
  }
  const size_t n = input_.times.size();
  if (input_.positions.size() != n) {
    std::printf("CubicPlanner has %zu positions but %zu times\n", input_.positions.size(), n);
    return planner_result::kInvalidInput;
  }
  if (n < 3) {
    std::printf("CubicPlanner needs at least 3 knots, got %zu\n", n);
    return planner_result::kInvalidInput;
  }
  for (size_t i = 0; i < n; ++i) {
    if (!std::isfinite(input_.times[i])) {
      std::printf("CubicPlanner time %zu=%g is not finite\n", i, input_.times[i]);
      return planner_result::kInvalidInput;
    }
    if (!std::isfinite(input_.positions[i])) {
      std::printf("CubicPlanner position %zu=%g is not finite\n", i, input_.positions[i]);
      return planner_result::kInvalidInput;
    }
    if (i > 0 && !(input_.times[i] > input_.times[i - 1])) {
      std::printf("CubicPlanner time %zu=%g does not follow time %zu=%g\n", i, input_.times[i],
                  i - 1, input_.times[i - 1]);
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
      std::printf("CubicPlanner second derivative %d is not finite\n", i);
      return planner_result::kInvalidInput;
    }
  }
  planned_ = true;
  std::cout << "CubicPlanner::plan finish!" << std::endl;
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

int CubicPlanner::rePlan(const TrapezoidPlanResult* /*reference*/) { return planner_result::kOk; }

int CubicPlanner::getStartAndGoal(double* start, double* goal) const {
  if (input_.positions.empty()) {
    std::cout << "get start and goal error." << std::endl;
    return -1;
  }
  *start = input_.positions.front();
  *goal = input_.positions.back();
  return 0;
}

}  // namespace brenvik
