#pragma once

#include <vector>

namespace brenvik {

// Input of a TrapezoidPlanner. Positions in rad, velocities in rad/s, accelerations in rad/s²
// (joint side).
struct TrapezoidPlannerInput {
  double reserved = 0.0;  // read by no planner operation
  double q0 = 0.0;        // start position
  double q1 = 0.0;        // goal position
  double v0 = 0.0;        // velocity at the start
  double v1 = 0.0;        // velocity at the goal
  double vmax = 0.0;      // velocity limit, > 0
  double aa = 0.0;        // acceleration limit, > 0
  double ad = 0.0;        // deceleration limit, < 0 (callers pass -aa)
};

// Plan of a TrapezoidPlanner: signed velocities, distances and accelerations; durations in s.
struct TrapezoidPlanResult {
  double Vv = 0.0;     // velocity of the constant-velocity phase (peak velocity without one)
  double Ta = 0.0;     // duration of the acceleration phase
  double Sa = 0.0;     // distance of the acceleration phase
  double Td = 0.0;     // duration of the deceleration phase
  double Sd = 0.0;     // distance of the deceleration phase
  double Tv = 0.0;     // duration of the constant-velocity phase
  double Sv = 0.0;     // distance of the constant-velocity phase
  double a_acc = 0.0;  // acceleration of the acceleration phase
  double a_dec = 0.0;  // acceleration of the deceleration phase
  double Tall = 0.0;   // total motion time
};

// Input of a CubicPlanner: one time (s, strictly increasing, normally starting at 0) per position
// (rad).
struct CubicPlannerInput {
  std::vector<double> positions;
  std::vector<double> times;
};

// Extremes of one axis's planned motion over its whole duration, each with the time (s) it is
// reached, computed from the plan itself rather than sampled.
struct MotionBounds {
  double min_position = 0.0;  // rad
  double min_position_time = 0.0;
  double max_position = 0.0;  // rad
  double max_position_time = 0.0;
  double max_speed = 0.0;  // largest |velocity|, rad/s
  double max_speed_time = 0.0;
  double max_acceleration = 0.0;  // largest |acceleration|, rad/s²
  double max_acceleration_time = 0.0;
};

// One axis's motion as a function of time, t = 0 at the start of the motion (s).
//
// Calling order: construct, setInput, plan (or planAllJoints for a set of axes), optionally
// rePlan, then calPosition and getStartAndGoal / getMotionTime. Planning runs on the command
// side (main thread) before the planner is queued; afterwards the control thread only samples
// it. No locking inside.
class TrajectoryInterface {
 public:
  explicit TrajectoryInterface(int replan_flag) : replan_flag_(replan_flag) {}
  virtual ~TrajectoryInterface() = default;
  TrajectoryInterface(const TrajectoryInterface&) = delete;
  TrajectoryInterface& operator=(const TrajectoryInterface&) = delete;

  // Computes the profile from the stored input. planner_result::kOk or a failure code.
  [[nodiscard]] virtual int plan() = 0;
  // Position (rad) at time t (s); *reached (may be null) is 1 once the motion has ended, else 0.
  // Allocation-free. A planner that is not planned returns NaN.
  virtual double calPosition(double t, int* reached) const = 0;
  // Copies the input record. A record of the other planner kind (or null) is kept as invalid:
  // plan() then fails with planner_result::kInvalidInput.
  virtual void setInput(const TrapezoidPlannerInput* input) = 0;
  virtual void setInput(const CubicPlannerInput* input) = 0;
  // Re-plans with the phase durations of another axis's result (duration-driven re-planning).
  [[nodiscard]] virtual int rePlan(const TrapezoidPlanResult* reference) = 0;
  // Total motion time (s).
  virtual double getMotionTime() const = 0;
  // The trapezoid plan, or null for planners without one.
  virtual const TrapezoidPlanResult* getPlanResult() const = 0;
  // First and last position of the plan (rad). 0, or -1 when the planner has no positions.
  [[nodiscard]] virtual int getStartAndGoal(double* start, double* goal) const = 0;
  // Extremes of the planned motion, exact up to rounding. NaN bounds when not planned.
  virtual MotionBounds motionBounds() const = 0;
  // The smallest factor λ >= 1 by which stretching the plan's phase durations brings it within
  // the planner's own velocity and acceleration limits, from the planned peaks: with zero boundary
  // velocities a stretch by λ divides the velocities by λ and the accelerations by λ². 1 for
  // planners without limits of their own.
  virtual double limitStretch() const { return 1.0; }

  // 1 for trapezoid planners (axes are synchronised after planning), 0 for cubic ones.
  int replanFlag() const { return replan_flag_; }

 protected:
  int replan_flag_;
};

}  // namespace brenvik
