#pragma once

#include <Eigen/Dense>
#include <cstdint>
#include <memory>
#include <vector>

#include "devices/virtual_motor.h"
#include "devices/virtual_motor_load.h"
#include "robot_model/dynamics_brenvik_bot_v5.h"

namespace brenvik {

// The load of a simulated arm's drives: the rigid-body and friction torque of the whole arm for
// the drives' present positions, velocities and accelerations, from a dynamics model of its own
// (the control loop's model smooths its inputs with state of its own), converted to the motor
// side. Joints the model does not cover need no torque.
//
// Evaluated once per period: the first torque read after any drive has advanced computes every
// axis's torque; the other reads of that period take them from the workspace. Built at start-up
// (main thread); motorTorque is called by the drives, that is by the control thread only.
// Allocates nothing after construction.
class SimulatedArmLoad final : public VirtualMotorLoad {
 public:
  // robot_para: the arm's record (N = axis_num, the conversion matrices and the dynamics
  // parameters; it must outlive the load). motors: the arm's drives in axis order, N of them.
  // Throws std::invalid_argument when the counts differ or the dynamics parameters are refused.
  SimulatedArmLoad(std::shared_ptr<RobotPara> robot_para,
                   std::vector<std::shared_ptr<VirtualMotor>> motors);

  double motorTorque(int axis) override;

 private:
  void update();

  std::shared_ptr<RobotPara> robot_para_;
  std::vector<std::shared_ptr<VirtualMotor>> motors_;
  DynamicsBrenvikBotV5 dynamics_;
  // Sum of the drives' periods at the last evaluation; -1 before the first.
  std::int64_t evaluated_periods_ = -1;
  // Workspace, N values each.
  Eigen::VectorXd motor_values_;
  std::vector<double> joint_positions_;
  std::vector<double> joint_velocities_;
  std::vector<double> joint_accelerations_;
  Eigen::VectorXd joint_torques_;
  Eigen::VectorXd motor_torques_;
};

}  // namespace brenvik
