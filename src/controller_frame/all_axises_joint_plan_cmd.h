#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "controller_frame/abstract_cmd_interface.h"
#include "controller_frame/trajectory_interface.h"

namespace brenvik {

// A joint move of all axes (cmd_type::kJointTrajectory): one single-axis planner per axis in
// axis order, owned by the command. Planned on the command side with planAllJoints before it is
// queued; the control thread only samples the planners.
class AllAxisesJointPlanCmd : public AbstractCmdInterface {
 public:
  explicit AllAxisesJointPlanCmd(std::shared_ptr<Robot> robot);

  // Plans every axis and, for trapezoid planners, re-plans all axes to the phase durations of the
  // slowest one. When an axis would then exceed its own velocity or acceleration limit (checked
  // from the planned peaks), the common durations are stretched by the smallest factor that
  // brings every axis within its limits, and every axis is re-planned to them.
  // planner_result::kOk, kNoPlanners, kInvalidInput (planner count differs from axis_num or a
  // planner is missing), kLimitsExceeded (no stretch found) or the code of the first failing
  // plan / rePlan. Prints its progress lines on standard output. Never call while the command is
  // queued.
  [[nodiscard]] int planAllJoints();

  // A point-to-point move (vel_scale > 0) whose start is not the arm's commanded position when it
  // begins: re-plans every axis from start (N values, rad) to its own goal with the same scaled
  // limits and synchronisation. Silent, allocation-bounded; called by the control thread outside
  // the interpolator's mutex before the move's first sample. planner_result codes;
  // kInvalidInput for a move that is not point-to-point or a start without N values.
  [[nodiscard]] int rePlanFrom(const std::vector<double>& start);

  // One planner per axis (N = axis_num entries once filled).
  std::vector<std::unique_ptr<TrajectoryInterface>> traj_interface_ptrs_;
  // The robot's axis_num at construction.
  int axis_num;
  // Scales of max_joint_vel and max_joint_acc of a point-to-point move (trapezoid planners);
  // 0 for splines, which are never re-planned.
  double vel_scale = 0.0;
  double acc_scale = 0.0;
  // Set by the control thread when the move was refused at its start because its first sample
  // lies farther from the commanded position than one period's travel (issuer: invalid goal).
  std::atomic<bool> refused_at_start{false};
  // planAllJoints prints its progress lines on standard output unless this is set.
  bool quiet = false;

 private:
  // rePlan of every axis but skipped_axis (-1: none) to the common phase durations.
  [[nodiscard]] int rePlanAll(const TrapezoidPlanResult& common, int skipped_axis);
};

}  // namespace brenvik
