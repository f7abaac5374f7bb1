#include "controller_frame/all_axises_joint_plan_cmd.h"

#include <cstdio>
#include <iostream>

namespace brenvik {

AllAxisesJointPlanCmd::AllAxisesJointPlanCmd(std::shared_ptr<Robot> robot)
    : AbstractCmdInterface(cmd_type::kJointTrajectory, std::move(robot)),
      axis_num(robot_ ? robot_->robot_para_.axis_num : 0) {}

int AllAxisesJointPlanCmd::planAllJoints() {
  if (traj_interface_ptrs_.empty()) {
    std::cout << "It does not have a trajectory_interface when joint plan" << std::endl;
    return planner_result::kNoPlanners;
  }
  if (static_cast<int>(traj_interface_ptrs_.size()) != axis_num) {
    std::cout << "Input traj_interface_ptrs_ size not equal robot_para_.axis_num!!!" << std::endl;
    return planner_result::kInvalidInput;
  }
  for (int i = 0; i < axis_num; ++i) {
    if (!traj_interface_ptrs_[i]) {
      std::printf("The %d axis has no planner\n", i + 1);
      return planner_result::kInvalidInput;
    }
  }

  std::vector<double> motion_times;
  motion_times.reserve(axis_num);
  for (int i = 0; i < axis_num; ++i) {
    const int r = traj_interface_ptrs_[i]->plan();
    if (r != planner_result::kOk) {
      std::printf("The %d axis plan fail!!! ,error code =%d\n", i + 1, r);
      return r;
    }
    const double motion_time = traj_interface_ptrs_[i]->getMotionTime();
    std::printf("motion_time=%lf\n", motion_time);
    motion_times.push_back(motion_time);
  }

  if (traj_interface_ptrs_[0]->replanFlag() == 0) {
    std::cout << "All axises plan suceess." << std::endl;
    return planner_result::kOk;
  }

  double largest = 0.0;
  int reference_axis = -1;
  const TrapezoidPlanResult* reference = nullptr;
  for (int i = 0; i < axis_num; ++i) {
    std::printf("traject_motion_time:%lf\n", motion_times[i]);
    if (motion_times[i] > largest) {
      largest = motion_times[i];
      reference_axis = i;
      reference = traj_interface_ptrs_[i]->getPlanResult();
    }
  }
  // Without a reference every axis already has zero duration: nothing to synchronise.
  if (reference_axis >= 0) {
    for (int i = 0; i < axis_num; ++i) {
      if (i == reference_axis) {
        continue;
      }
      const int r = traj_interface_ptrs_[i]->rePlan(reference);
      if (r != planner_result::kOk) {
        std::printf("The %d axis rePlan fail!!! ,error code =%d\n", i + 1, r);
        return r;
      }
    }
  }
  std::cout << "All axises replan suceess." << std::endl;
  return planner_result::kOk;
}

}  // namespace brenvik
