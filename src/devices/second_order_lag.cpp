#include "devices/second_order_lag.h"

#include <cmath>
#include <stdexcept>
#include <string>
#include <unsupported/Eigen/MatrixFunctions>

namespace brenvik {
namespace {

// Deviations this small are rounding residue of a settled lag: they are set to 0 before they turn
// subnormal, which would slow every later step many times over.
constexpr double kDeviationFloor = 1e-150;

void requirePositive(double value, const char* name) {
  if (!(value > 0.0) || !std::isfinite(value)) {
    throw std::invalid_argument(std::string("SecondOrderLag: ") + name + "=" +
                                std::to_string(value) + " must be positive and finite");
  }
}

}  // namespace

SecondOrderLag::SecondOrderLag(double bandwidth, double damping, double period)
    : bandwidth_(bandwidth), damping_(damping), period_(period) {
  requirePositive(bandwidth, "bandwidth");
  requirePositive(damping, "damping");
  requirePositive(period, "period");
  // With u = u0 + s·t over the period, the deviation e = x − u and its rate w = x' − s obey
  //   e' = w,  w' = −ω²·e − 2ζω·w − 2ζω·s,
  // a linear system with the constant input s. Its exact transition over one period is the
  // exponential of the system matrix augmented by the input column.
  const double omega = bandwidth_;
  const double two_zeta_omega = 2.0 * damping_ * bandwidth_;
  Eigen::Matrix3d system = Eigen::Matrix3d::Zero();
  system(0, 1) = 1.0;
  system(1, 0) = -omega * omega;
  system(1, 1) = -two_zeta_omega;
  system(1, 2) = -two_zeta_omega;
  const Eigen::Matrix3d transition = (system * period_).exp();
  transition_ = transition.topLeftCorner<2, 2>();
  slope_response_ = transition.block<2, 1>(0, 2);
}

void SecondOrderLag::step(double setpoint) {
  if (!std::isfinite(setpoint)) {
    setpoint = setpoint_;
  }
  const double slope = (setpoint - setpoint_) / period_;
  // The deviation is the state, not the position: a position rebuilt from setpoint + deviation
  // every period could settle one rounding step off the setpoint for good.
  const Eigen::Vector2d deviation(deviation_, state_.velocity - slope);
  Eigen::Vector2d next = transition_ * deviation + slope_response_ * slope;
  for (int i = 0; i < 2; ++i) {
    if (std::fabs(next[i]) < kDeviationFloor) {
      next[i] = 0.0;
    }
  }
  setpoint_ = setpoint;
  deviation_ = next[0];
  state_.position = setpoint + deviation_;
  state_.velocity = slope + next[1];
  state_.acceleration =
      -bandwidth_ * bandwidth_ * deviation_ - 2.0 * damping_ * bandwidth_ * state_.velocity;
}

void SecondOrderLag::reset(double position) {
  setpoint_ = position;
  deviation_ = 0.0;
  state_ = State{position, 0.0, 0.0};
}

}  // namespace brenvik
