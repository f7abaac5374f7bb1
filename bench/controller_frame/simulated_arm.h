#pragma once

#include <cstdio>
#include <memory>
#include <vector>

#include "controller_frame/all_axises_joint_plan_cmd.h"
#include "controller_frame/trapezoid_planner.h"
#include "quiet_stdout.h"
#include "robot_factory/brenvik_bot_v5.h"

namespace brenvik::bench {

// The simulated five-axis arm with its kinematics, dynamics and collision detector, drives
// enabled.
inline std::shared_ptr<Robot> makeSimulatedArm() {
  auto robot = std::make_shared<BrenvikBotV5>(BRENVIK_SIM_PARA_FILE);
  for (const AxisPara& axis : robot->robot_para_.axis_paras) {
    static_cast<void>(axis.motor->setEnableStatus(true));
  }
  return robot;
}

// A planned point-to-point move of all axes from `start` to `goal` at `scale` of the limits.
inline AllAxisesJointPlanCmd* makeMove(const std::shared_ptr<Robot>& robot,
                                       const std::vector<double>& start,
                                       const std::vector<double>& goal, double scale) {
  auto* cmd = new AllAxisesJointPlanCmd(robot);
  for (size_t i = 0; i < goal.size(); ++i) {
    const AxisPara& axis = robot->robot_para_.axis_paras[i];
    TrapezoidPlannerInput in;
    in.q0 = start[i];
    in.q1 = goal[i];
    in.vmax = scale * axis.max_joint_vel;
    in.aa = scale * axis.max_joint_acc;
    in.ad = -in.aa;
    auto planner = std::make_unique<TrapezoidPlanner>();
    planner->setInput(&in);
    cmd->traj_interface_ptrs_.push_back(std::move(planner));
  }
  if (cmd->planAllJoints() != 0) {
    delete cmd;
    return nullptr;
  }
  return cmd;
}

// Two poses inside every axis's limits; moves alternate between them.
inline std::vector<double> poseA() { return {-0.6, -0.4, 0.5, -0.5, -0.8}; }
inline std::vector<double> poseB() { return {0.6, 0.4, 1.0, 0.5, 0.8}; }

}  // namespace brenvik::bench
