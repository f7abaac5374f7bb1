#include "devices/virtual_motor.h"

#include <cmath>

namespace brenvik {

VirtualMotor::VirtualMotor(int motor_id, const VirtualMotorPara& para)
    : motor_id_(motor_id), lag_(para.tracking_bandwidth, para.damping, kSamplePeriod) {}

int VirtualMotor::setMotorPosition(double position) {
  if (std::isfinite(position)) {
    setpoint_ = position;
  }
  return 0;
}

int VirtualMotor::getMotorPosition(double& position) {
  lag_.step(setpoint_);
  ++periods_;
  position = lag_.state().position;
  return 0;
}

int VirtualMotor::setEnableStatus(bool enable) {
  enable_status_ = enable;
  return 0;
}

int VirtualMotor::getEnableStatus(bool& enabled) {
  enabled = enable_status_;
  return 0;
}

int VirtualMotor::setHome(int /*value*/) {
  setpoint_ = 0.0;
  lag_.reset(0.0);
  return 0;
}

int VirtualMotor::getTorque(double& torque) {
  const std::shared_ptr<VirtualMotorLoad> load = load_.lock();
  torque = load ? load->motorTorque(load_axis_) : 0.0;
  return 0;
}

int VirtualMotor::getVelocity(double& velocity) {
  velocity = lag_.state().velocity;
  return 0;
}

void VirtualMotor::setLoad(std::weak_ptr<VirtualMotorLoad> load, int axis) {
  load_ = std::move(load);
  load_axis_ = axis;
}

}  // namespace brenvik
