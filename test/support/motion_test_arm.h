#pragma once

#include <Eigen/Dense>
#include <memory>
#include <vector>

#include "robot_factory/robot.h"
#include "support/fake_collision_detector.h"
#include "support/fake_dynamics.h"
#include "support/fake_kinematics.h"
#include "support/scripted_io_device.h"
#include "support/scripted_motor.h"

namespace brenvik::testing {

// A Robot built from a filled RobotPara with scripted motors, a scripted control-IO device under
// id 1 and fake models, for the motion tests and benchmarks.
struct MotionTestArm {
  std::shared_ptr<Robot> robot;
  std::vector<std::shared_ptr<ScriptedMotor>> motors;
  std::shared_ptr<ScriptedIoDevice> io_device;
  std::shared_ptr<FakeKinematics> kinematics;
  std::shared_ptr<FakeDynamics> dynamics;
  std::shared_ptr<FakeCollisionDetector> collision_detector;
};

struct MotionTestArmOptions {
  int axis_num = 5;
  // motor2joint_pos_matrix A (motor to joint); identity when empty. The other three matrices are
  // derived from it.
  Eigen::MatrixXd motor2joint;
  double max_joint_vel = 2.0;
  double max_joint_acc = 4.0;
  double joint_pos_error_threshold = 0.01;
  double emergency_stop_acc = 2.0;
  double motor_limit = 100.0;
};

inline MotionTestArm makeMotionTestArm(const MotionTestArmOptions& options = {}) {
  const int n = options.axis_num;
  MotionTestArm arm;
  RobotPara para;
  para.axis_num = n;
  for (int i = 0; i < n; ++i) {
    auto motor = std::make_shared<ScriptedMotor>();
    arm.motors.push_back(motor);
    AxisPara axis;
    axis.min_joint_pos = -3.0;
    axis.max_joint_pos = 3.0;
    axis.max_joint_vel = options.max_joint_vel;
    axis.max_joint_acc = options.max_joint_acc;
    axis.reduction_ratio = 1.0;
    axis.motor = motor;
    axis.joint_pos_error_threshold = options.joint_pos_error_threshold;
    axis.min_motor_pos = -options.motor_limit;
    axis.max_motor_pos = options.motor_limit;
    axis.emergency_stop_acc = options.emergency_stop_acc;
    para.axis_paras.push_back(axis);
  }
  const Eigen::MatrixXd a =
      options.motor2joint.size() == 0 ? Eigen::MatrixXd::Identity(n, n) : options.motor2joint;
  para.motor2joint_matrix = a;
  para.motor2joint_pos_matrix = a;
  para.joint2motor_pos_matrix = a.inverse();
  para.motor2joint_dual_matrix = a.inverse().transpose();
  para.joint2motor_dual_matrix = a.transpose();
  arm.io_device = std::make_shared<ScriptedIoDevice>();
  CtrlIoDevicePara io;
  io.geometrical_para = Eigen::MatrixXd::Identity(4, 4);
  io.device = arm.io_device;
  para.ctrl_io_devices[1] = io;

  arm.robot = std::make_shared<Robot>(std::move(para));
  arm.kinematics = std::make_shared<FakeKinematics>();
  arm.dynamics = std::make_shared<FakeDynamics>(n);
  arm.collision_detector = std::make_shared<FakeCollisionDetector>(n);
  arm.robot->kinematics_ = arm.kinematics;
  arm.robot->dynamics_ = arm.dynamics;
  arm.robot->collision_detector_ = arm.collision_detector;
  return arm;
}

}  // namespace brenvik::testing
