#include "controller_frame/all_axises_joint_plan_cmd.h"

#include <cstdio>

#include "common/logger.h"

namespace brenvik {
namespace {

// Peaks within this fraction above a limit are rounding, not a violation.
constexpr double kLimitTolerance = 1e-9;
// With zero boundary velocities one stretch is exact; other boundary velocities may need a few.
constexpr int kStretchRounds = 4;

}  // namespace

AllAxisesJointPlanCmd::AllAxisesJointPlanCmd(std::shared_ptr<Robot> robot)
    : AbstractCmdInterface(cmd_type::kJointTrajectory, std::move(robot)),
      axis_num(robot_ ? robot_->robot_para_.axis_num : 0) {}

int AllAxisesJointPlanCmd::planAllJoints() {
  if (traj_interface_ptrs_.empty()) {
    if (!quiet)
      Logger::instance()->print("It does not have a trajectory_interface when joint plan\n");
    return planner_result::kNoPlanners;
  }
  if (static_cast<int>(traj_interface_ptrs_.size()) != axis_num) {
    if (!quiet)
      Logger::instance()->print(
          "Input traj_interface_ptrs_ size not equal robot_para_.axis_num!!!\n");
    return planner_result::kInvalidInput;
  }
  for (int i = 0; i < axis_num; ++i) {
    if (!traj_interface_ptrs_[i]) {
      if (!quiet) Logger::instance()->print("The %d axis has no planner\n", i + 1);
      return planner_result::kInvalidInput;
    }
  }

  std::vector<double> motion_times;
  motion_times.reserve(axis_num);
  for (int i = 0; i < axis_num; ++i) {
    const int r = traj_interface_ptrs_[i]->plan();
    if (r != planner_result::kOk) {
      if (!quiet) Logger::instance()->print("The %d axis plan fail!!! ,error code =%d\n", i + 1, r);
      return r;
    }
    const double motion_time = traj_interface_ptrs_[i]->getMotionTime();
    if (!quiet) Logger::instance()->print("motion_time=%lf\n", motion_time);
    motion_times.push_back(motion_time);
  }

  if (traj_interface_ptrs_[0]->replanFlag() == 0) {
    if (!quiet) Logger::instance()->print("All axises plan suceess.\n");
    return planner_result::kOk;
  }

  double largest = 0.0;
  int reference_axis = -1;
  for (int i = 0; i < axis_num; ++i) {
    if (!quiet) Logger::instance()->print("traject_motion_time:%lf\n", motion_times[i]);
    if (motion_times[i] > largest) {
      largest = motion_times[i];
      reference_axis = i;
    }
  }
  // Without a reference every axis already has zero duration: nothing to synchronise.
  if (reference_axis < 0) {
    if (!quiet) Logger::instance()->print("All axises replan suceess.\n");
    return planner_result::kOk;
  }
  // A copy: re-planning the reference axis itself below overwrites its own result.
  TrapezoidPlanResult common = *traj_interface_ptrs_[reference_axis]->getPlanResult();
  int r = rePlanAll(common, reference_axis);
  // An axis re-planned into another axis's phase durations may need more velocity or acceleration
  // than its own limits allow: the common profile is stretched until every axis fits.
  for (int round = 0; r == planner_result::kOk && round < kStretchRounds; ++round) {
    int worst_axis = 0;
    double stretch = 1.0;
    for (int i = 0; i < axis_num; ++i) {
      const double axis_stretch = traj_interface_ptrs_[i]->limitStretch();
      if (axis_stretch > stretch) {
        stretch = axis_stretch;
        worst_axis = i;
      }
    }
    if (stretch <= 1.0 + kLimitTolerance) {
      if (!quiet) Logger::instance()->print("All axises replan suceess.\n");
      return planner_result::kOk;
    }
    if (!quiet)
      Logger::instance()->print(
          "The %d axis needs the motion stretched %lf times to keep within its limits\n",
          worst_axis + 1, stretch);
    common.Ta *= stretch;
    common.Tv *= stretch;
    common.Td *= stretch;
    common.Tall *= stretch;
    r = rePlanAll(common, -1);
  }
  if (r != planner_result::kOk) {
    return r;
  }
  if (!quiet)
    Logger::instance()->print("The synchronised motion cannot be kept within the axes' limits\n");
  return planner_result::kLimitsExceeded;
}

int AllAxisesJointPlanCmd::rePlanAll(const TrapezoidPlanResult& common, int skipped_axis) {
  for (int i = 0; i < axis_num; ++i) {
    if (i == skipped_axis) {
      continue;
    }
    const int r = traj_interface_ptrs_[i]->rePlan(&common);
    if (r != planner_result::kOk) {
      if (!quiet)
        Logger::instance()->print("The %d axis rePlan fail!!! ,error code =%d\n", i + 1, r);
      return r;
    }
  }
  return planner_result::kOk;
}

int AllAxisesJointPlanCmd::rePlanFrom(const std::vector<double>& start) {
  if (vel_scale <= 0.0 || acc_scale <= 0.0 || static_cast<int>(start.size()) != axis_num ||
      static_cast<int>(traj_interface_ptrs_.size()) != axis_num) {
    return planner_result::kInvalidInput;
  }
  const RobotPara& para = robot_->robot_para_;
  for (int i = 0; i < axis_num; ++i) {
    double first = 0.0;
    double goal = 0.0;
    if (!traj_interface_ptrs_[i] || traj_interface_ptrs_[i]->getStartAndGoal(&first, &goal) != 0) {
      return planner_result::kInvalidInput;
    }
    TrapezoidPlannerInput input;
    input.q0 = start[i];
    input.q1 = goal;
    input.vmax = vel_scale * para.axis_paras[i].max_joint_vel;
    input.aa = acc_scale * para.axis_paras[i].max_joint_acc;
    input.ad = -input.aa;
    traj_interface_ptrs_[i]->setInput(&input);
  }
  const bool was_quiet = quiet;
  quiet = true;
  const int r = planAllJoints();
  quiet = was_quiet;
  return r;
}

}  // namespace brenvik
