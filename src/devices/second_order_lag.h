#pragma once

#include <Eigen/Dense>

namespace brenvik {

// Position loop of a simulated drive: a second-order lag
//   x'' = ω²·(u − x) − 2·ζ·ω·x'
// of natural frequency ω (the tracking bandwidth, rad/s) and damping ratio ζ, whose setpoint u
// runs linearly from the previous setpoint to the new one over each sample period, as a drive in
// cyclic synchronous position mode interpolates the setpoints it receives. A setpoint held
// constant is therefore reached with the continuous step response of the lag, one period late,
// and a setpoint ramp is followed at exactly its velocity once the lag has settled.
//
// step() advances one sample period exactly: the transition of the lag over one period (a matrix
// exponential) is computed once at construction, so the samples carry no integration error
// whatever ω·period is. The model is constant after construction; step() allocates nothing.
// Not thread-safe: one thread at a time. Units: rad (or any length unit), s.
class SecondOrderLag {
 public:
  struct State {
    double position = 0.0;
    double velocity = 0.0;      // per s
    double acceleration = 0.0;  // per s², the instant the period ends
  };

  // bandwidth ω > 0, damping ζ > 0 and period > 0, all finite; throws std::invalid_argument
  // otherwise. Starts at rest at position 0 with setpoint 0.
  SecondOrderLag(double bandwidth, double damping, double period);

  // One sample period towards setpoint (the setpoint of the previous step interpolated to it).
  // A setpoint that is not finite is taken as the previous one.
  void step(double setpoint);
  // At rest at position, setpoint position.
  void reset(double position);

  const State& state() const { return state_; }
  double setpoint() const { return setpoint_; }
  double period() const { return period_; }

 private:
  double bandwidth_;
  double damping_;
  double period_;
  // Transition over one period of the deviation from the interpolated setpoint and its rate,
  // (x − u, x' − u'), and the response of that pair to the setpoint's slope u'.
  Eigen::Matrix2d transition_;
  Eigen::Vector2d slope_response_;
  double setpoint_ = 0.0;
  double deviation_ = 0.0;  // position − setpoint at the end of the last period
  State state_;
};

}  // namespace brenvik
