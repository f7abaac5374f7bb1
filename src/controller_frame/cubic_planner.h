#pragma once

#include <vector>

#include "controller_frame/trajectory_interface.h"

namespace brenvik {

// Clamped cubic spline through timed knots with zero velocity at the first and last knot.
// Units: rad, s. All heap work happens in setInput and plan; calPosition is allocation-free and
// logarithmic in the knot count.
class CubicPlanner : public TrajectoryInterface {
 public:
  CubicPlanner() : TrajectoryInterface(0) {}

  // planner_result::kOk, or kInvalidInput (fewer than 2 knots, lengths differ, a value not
  // finite, times not strictly increasing; the message names the value). Prints
  // "CubicPlanner::plan finish!" on success.
  [[nodiscard]] int plan() override;
  // Spline value at t; *reached = 1 only for t past the last knot time (then the last position).
  double calPosition(double t, int* reached) const override;
  void setInput(const TrapezoidPlannerInput* input) override;
  void setInput(const CubicPlannerInput* input) override;
  // Nothing to re-plan: the axes keep their own durations. Always 0.
  [[nodiscard]] int rePlan(const TrapezoidPlanResult* reference) override;
  // The last knot time (s).
  double getMotionTime() const override { return last_time_; }
  const TrapezoidPlanResult* getPlanResult() const override { return nullptr; }
  // First and last position; -1 with "get start and goal error." when there are none.
  [[nodiscard]] int getStartAndGoal(double* start, double* goal) const override;
  // Per segment: positions at the knots and where the velocity (quadratic) is zero, velocities at
  // the knots and where the acceleration (linear) is zero, accelerations at the knots.
  MotionBounds motionBounds() const override;

  const CubicPlannerInput* getInput() const { return &input_; }

 private:
  [[nodiscard]] int validateInput() const;

  CubicPlannerInput input_;
  int knot_num_ = 0;
  double last_time_ = 0.0;
  double last_position_ = 0.0;
  bool input_valid_ = false;
  bool planned_ = false;
  // Knots and second derivatives at the knots, n each, once planned.
  std::vector<double> knot_times_;
  std::vector<double> knot_positions_;
  std::vector<double> second_derivatives_;
};

}  // namespace brenvik
