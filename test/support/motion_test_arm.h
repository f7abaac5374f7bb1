#pragma once

#include <Eigen/Dense>
#include <cfloat>
#include <functional>
#include <memory>
#include <vector>

#include "devices/ctrl_io_interface.h"
#include "devices/ctrl_motor_interface.h"
#include "devices/second_order_lag.h"
#include "robot_factory/robot.h"
#include "robot_model/brenvik_bot_v3_kinematics.h"
#include "robot_model/collision_detector_interface.h"
#include "robot_model/dynamics_interface.h"

namespace brenvik::testing {

using V = std::vector<double>;

// A scripted motor: follows every position command at once, or like a real drive with a lag
// (advanced at each position read). An operation fails with its *_error code when that is set.
class ScriptedMotor : public CtrlMotorInterface {
 public:
  int init() override { return 0; }
  int setMotorPosition(double position) override {
    if (set_position_error != 0) return set_position_error;
    last_command = position;
    if (!lag) position_ = position + position_offset;
    return 0;
  }
  int getMotorPosition(double& position) override {
    if (on_position_read) on_position_read();
    if (get_position_error != 0) return get_position_error;
    if (lag) lag->step(last_command), position_ = lag->state().position + position_offset;
    return position = position_, 0;
  }
  int setEnableStatus(bool on) override {
    if (set_enable_error == 0) commanded_enable = on, enable_reads = 0;
    return set_enable_error;
  }
  // Reports the commanded state once enable_delay_reads reads have passed since the command.
  int getEnableStatus(bool& out) override {
    ++get_enable_calls;
    if (get_enable_error != 0) return get_enable_error;
    if (enable_reads >= 0 && ++enable_reads > enable_delay_reads) enabled = commanded_enable;
    return out = enabled, 0;
  }
  int setHome(int) override {
    if (set_home_error == 0) setPosition(0.0);
    return set_home_error;
  }
  int getTorque(double& out) override { return out = torque, 0; }
  int getVelocity(double& out) override {
    return out = velocity + (lag ? lag->state().velocity : 0), 0;
  }
  double position() const { return position_; }
  // At rest at p; a lagging drive also takes p as its command.
  void setPosition(double p) {
    position_ = p;
    if (lag) lag->reset(p), last_command = p;
  }

  std::unique_ptr<SecondOrderLag> lag;  // null: follows every command at once
  double position_offset = 0.0;         // the motor settles this far from every command
  double velocity = 0.0, torque = 0.0, last_command = 0.0;
  bool enabled = true, commanded_enable = false;
  int enable_delay_reads = 0, enable_reads = -1;  // reads since the last command
  int set_position_error = 0, get_position_error = 0, set_enable_error = 0, get_enable_error = 0,
      set_home_error = 0, get_enable_calls = 0;
  std::function<void()> on_position_read;

 private:
  double position_ = 0.0;
};

// A control-IO device reaching the commanded state after reads_to_reach reads (never if < 0).
class ScriptedIoDevice : public CtrlIoInterface {
 public:
  int setCmd(int cmd) override { return ++set_cmd_calls, commanded = cmd, reads = 0; }
  int getState(int& state) override {
    if (set_cmd_calls > 0 && reads_to_reach >= 0 && ++reads >= reads_to_reach) state = commanded;
    return 0;
  }
  int reads_to_reach = 1, set_cmd_calls = 0, commanded = -1, reads = 0;
};

// Returns zero torques and counts its calls.
class FakeDynamics : public DynamicsInterface {
 public:
  virtual ~FakeDynamics() = default;
  explicit FakeDynamics(int n) : torques(n, 0.0) {}
  void initDynamics(std::shared_ptr<RobotPara>) override {}
  V getDynamicsVector() override { return {}; }
  const V& estimateTorque(const V&, const V&, const V&, double) override {
    return ++calls, torques;
  }
  V torques;
  int calls = 0;
};

// Reports `collision`; computeAdmittance returns `admittance` (DBL_MAX: a joint not to move);
// sensitivity commands are recorded. Not thread-safe, like the real detector.
class FakeCollisionDetector : public CollisionDetectorInterface {
 public:
  virtual ~FakeCollisionDetector() = default;
  explicit FakeCollisionDetector(int n) : admittance(n, DBL_MAX), excess_torque(n, 0.0) {}
  void setCollisionSensitivity(const V& command) override { sensitivity.push_back(command); }
  const V& getCollisionData() override { return data; }
  void initCollisionDetector(std::shared_ptr<RobotPara>) override {}
  int detectCollision(const V&, const V&, const V&, const V&, const V&, double) override {
    return ++detect_calls, collision;
  }
  const V& detectCollisionTorque(const V&, const V&, const V&, const V&, const V&,
                                 double) override {
    return excess_torque;
  }
  const V& computeAdmittance(const V&, const V&, const V&, const V&, const V&, double) override {
    return ++admittance_calls, admittance;
  }
  int collision = 0, detect_calls = 0, admittance_calls = 0;
  V admittance, excess_torque, data{0.0, 0.0, 7.0, 0.0};
  std::vector<V> sensitivity;  // the commands applied
};

// A Robot of identity coupling with scripted motors (±3 rad, 2 rad/s, 4 rad/s²), a scripted
// control-IO device under id 1, fake dynamics and collision detection, the five-joint kinematics.
struct MotionTestArm {
  std::shared_ptr<Robot> robot;
  std::vector<std::shared_ptr<ScriptedMotor>> motors;
  std::shared_ptr<ScriptedIoDevice> io_device = std::make_shared<ScriptedIoDevice>();
  std::shared_ptr<FakeDynamics> dynamics;
  std::shared_ptr<FakeCollisionDetector> collision_detector;
};

struct MotionTestArmOptions {
  int axis_num = 5;
  double emergency_stop_acc = 2.0;
  double lag_bandwidth = 0.0;  // > 0: every motor lags its commands (rad/s, critically damped)
};

inline MotionTestArm makeMotionTestArm(const MotionTestArmOptions& options = {}) {
  const int n = options.axis_num;
  MotionTestArm arm;
  RobotPara para;
  para.axis_num = n;
  for (int i = 0; i < n; ++i) {
    auto& motor = arm.motors.emplace_back(std::make_shared<ScriptedMotor>());
    if (options.lag_bandwidth > 0.0)
      motor->lag = std::make_unique<SecondOrderLag>(options.lag_bandwidth, 1.0, 0.005);
    AxisPara& axis = para.axis_paras.emplace_back();
    axis.min_joint_pos = -3.0, axis.max_joint_pos = 3.0, axis.min_motor_pos = -100.0;
    axis.max_motor_pos = 100.0, axis.max_joint_vel = 2.0, axis.max_joint_acc = 4.0;
    axis.emergency_stop_acc = options.emergency_stop_acc, axis.reduction_ratio = 1.0;
    axis.motor = motor, axis.joint_pos_error_threshold = 0.01;
  }
  para.motor2joint_matrix = para.motor2joint_pos_matrix = para.joint2motor_pos_matrix =
      para.motor2joint_dual_matrix = para.joint2motor_dual_matrix = Eigen::MatrixXd::Identity(n, n);
  para.ctrl_io_devices[1].geometrical_para = Eigen::MatrixXd::Identity(4, 4);
  para.ctrl_io_devices[1].device = arm.io_device;
  arm.robot = std::make_shared<Robot>(std::move(para));
  arm.dynamics = std::make_shared<FakeDynamics>(n);
  arm.collision_detector = std::make_shared<FakeCollisionDetector>(n);
  arm.robot->kinematics_ = std::make_shared<BrenvikBotV3Kinematics>();  // MDH parameters 0
  arm.robot->dynamics_ = arm.dynamics;
  arm.robot->collision_detector_ = arm.collision_detector;
  return arm;
}

}  // namespace brenvik::testing
