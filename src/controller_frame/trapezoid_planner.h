#pragma once

#include "controller_frame/trajectory_interface.h"

namespace brenvik {

// Trapezoidal (or, for short moves, triangular) velocity profile from q0 to q1 with boundary
// velocities v0 and v1, velocity limit vmax, acceleration aa > 0 and deceleration ad < 0.
// Units: rad, rad/s, rad/s², s. Owns no heap memory; calPosition is constant time.
class TrapezoidPlanner : public TrajectoryInterface {
 public:
  TrapezoidPlanner() : TrajectoryInterface(1) {}

  // planner_result::kOk, kOverVmax (|v0| or |v1| above vmax), kTooClose (distance too short for
  // the boundary velocities) or kInvalidInput (non-finite input, vmax or aa not positive, ad not
  // negative, result not finite). A zero distance with zero boundary velocities is a profile of
  // zero length (Tall 0) that holds q0. Prints its diagnostic lines on standard output. On failure
  // the plan keeps its previous values.
  [[nodiscard]] int plan() override;
  double calPosition(double t, int* reached) const override;
  void setInput(const TrapezoidPlannerInput* input) override;
  void setInput(const CubicPlannerInput* input) override;
  // Takes Ta, Td, Tv and Tall of the reference and fits this axis's distance into them.
  // planner_result::kOk, or kInvalidInput for a missing or degenerate reference.
  [[nodiscard]] int rePlan(const TrapezoidPlanResult* reference) override;
  double getMotionTime() const override { return result_.Tall; }
  const TrapezoidPlanResult* getPlanResult() const override { return &result_; }
  // q0 and q1; always 0.
  [[nodiscard]] int getStartAndGoal(double* start, double* goal) const override;
  // From the phases: the position at the phase ends and where a phase's velocity crosses zero,
  // the velocity at the phase ends (it is linear in each phase), the phase accelerations.
  MotionBounds motionBounds() const override;
  // max(1, |Vv| / vmax, sqrt(|a_acc| / aa), sqrt(|a_dec| / |ad|)) of the plan.
  double limitStretch() const override;

  const TrapezoidPlannerInput* getInput() const { return &input_; }
  // 0 when created and while planning, 1 after a successful plan, the failure code otherwise.
  int planStatus() const { return plan_status_; }

 private:
  [[nodiscard]] int validateInput() const;

  TrapezoidPlannerInput input_;
  TrapezoidPlanResult result_;
  int plan_status_ = 0;
  bool input_valid_ = false;
};

}  // namespace brenvik
