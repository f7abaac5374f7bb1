#include "robot_factory/simulated_arm_load.h"

#include <algorithm>
#include <cfloat>
#include <stdexcept>
#include <string>

namespace brenvik {

SimulatedArmLoad::SimulatedArmLoad(std::shared_ptr<RobotPara> robot_para,
                                   std::vector<std::shared_ptr<VirtualMotor>> motors)
    : robot_para_(std::move(robot_para)), motors_(std::move(motors)) {
  if (!robot_para_ || static_cast<int>(motors_.size()) != robot_para_->axis_num) {
    throw std::invalid_argument("SimulatedArmLoad needs one drive per axis, got " +
                                std::to_string(motors_.size()));
  }
  dynamics_.initDynamics(robot_para_);
  const int n = robot_para_->axis_num;
  // The dynamics model reads five joints; an arm of fewer axes pads with zeros.
  const size_t model_size = std::max(n, DynamicsBrenvikBotV5::kAxisCount);
  motor_values_ = Eigen::VectorXd::Zero(n);
  joint_positions_.assign(model_size, 0.0);
  joint_velocities_.assign(model_size, 0.0);
  joint_accelerations_.assign(model_size, 0.0);
  joint_torques_ = Eigen::VectorXd::Zero(n);
  motor_torques_ = Eigen::VectorXd::Zero(n);
}

double SimulatedArmLoad::motorTorque(int axis) {
  if (axis < 0 || axis >= static_cast<int>(motors_.size())) {
    return 0.0;
  }
  std::int64_t periods = 0;
  for (const auto& motor : motors_) {
    periods += motor->periods();
  }
  if (periods != evaluated_periods_) {
    evaluated_periods_ = periods;
    update();
  }
  return motor_torques_[axis];
}

void SimulatedArmLoad::update() {
  const int n = robot_para_->axis_num;
  const Eigen::MatrixXd& motor2joint = robot_para_->motor2joint_pos_matrix;
  // Motor side to joint side, one quantity at a time.
  const auto toJoint = [&](double SecondOrderLag::State::*quantity, std::vector<double>& out) {
    for (int i = 0; i < n; ++i) {
      motor_values_[i] = motors_[i]->state().*quantity;
    }
    Eigen::Map<Eigen::VectorXd>(out.data(), n).noalias() = motor2joint * motor_values_;
  };
  toJoint(&SecondOrderLag::State::position, joint_positions_);
  toJoint(&SecondOrderLag::State::velocity, joint_velocities_);
  toJoint(&SecondOrderLag::State::acceleration, joint_accelerations_);

  const double time = static_cast<double>(motors_[0]->periods()) * VirtualMotor::kSamplePeriod;
  const std::vector<double>& estimate =
      dynamics_.estimateTorque(joint_positions_, joint_velocities_, joint_accelerations_, time);
  for (int i = 0; i < n; ++i) {
    // DBL_MAX marks a joint without a model: its drive holds no modelled load.
    joint_torques_[i] =
        i < static_cast<int>(estimate.size()) && estimate[i] != DBL_MAX ? estimate[i] : 0.0;
  }
  motor_torques_.noalias() = robot_para_->joint2motor_dual_matrix * joint_torques_;
}

}  // namespace brenvik
