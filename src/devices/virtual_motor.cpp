#include "devices/virtual_motor.h"

#include <cmath>

namespace brenvik {

VirtualMotor::VirtualMotor(int motor_id, const VirtualMotorPara& para,
                           const VirtualMotorFaults& faults)
    : motor_id_(motor_id),
      faults_(faults),
      fault_random_(faults.fault_seed),
      lag_(para.tracking_bandwidth, para.damping, kSamplePeriod) {}

bool VirtualMotor::fails(std::int64_t from_period, double probability) {
  if (periods_ >= from_period) {
    return true;
  }
  if (probability <= 0.0) {
    return false;  // draws nothing: a run without random faults keeps its sequence
  }
  // Uniform in [0, 1) from the generator's raw output, the same on every platform.
  const double draw =
      static_cast<double>(fault_random_() - std::minstd_rand::min()) /
      (static_cast<double>(std::minstd_rand::max() - std::minstd_rand::min()) + 1.0);
  return draw < probability;
}

int VirtualMotor::init() {
  if (init_calls_ < faults_.init_failures) {
    ++init_calls_;
    return device_result::kInitFault;
  }
  return device_result::kOk;
}

int VirtualMotor::setMotorPosition(double position) {
  if (!std::isfinite(position)) {
    return device_result::kInvalidSetpoint;
  }
  if (fails(faults_.write_fault_from_period, faults_.write_fault_probability)) {
    return device_result::kWriteFault;
  }
  setpoint_ = position;
  return device_result::kOk;
}

int VirtualMotor::getMotorPosition(double& position) {
  // The drive runs on whether or not its bus answers.
  lag_.step(setpoint_);
  ++periods_;
  if (fails(faults_.read_fault_from_period, faults_.read_fault_probability)) {
    return device_result::kReadFault;
  }
  position = lag_.state().position;
  return device_result::kOk;
}

int VirtualMotor::setEnableStatus(bool enable) {
  if (!(enable && faults_.enable_never_arrives)) {
    enable_status_ = enable;
  }
  return device_result::kOk;
}

int VirtualMotor::getEnableStatus(bool& enabled) {
  enabled = enable_status_;
  return device_result::kOk;
}

int VirtualMotor::setHome(int /*value*/) {
  if (faults_.home_fails) {
    return device_result::kHomeFault;
  }
  setpoint_ = 0.0;
  lag_.reset(0.0);
  return device_result::kOk;
}

int VirtualMotor::getTorque(double& torque) {
  if (fails(faults_.read_fault_from_period, faults_.read_fault_probability)) {
    return device_result::kReadFault;
  }
  const std::shared_ptr<VirtualMotorLoad> load = load_.lock();
  torque = load ? load->motorTorque(load_axis_) : 0.0;
  if (periods_ >= faults_.external_torque_from_period) {
    torque += faults_.external_torque;
  }
  return device_result::kOk;
}

int VirtualMotor::getVelocity(double& velocity) {
  if (fails(faults_.read_fault_from_period, faults_.read_fault_probability)) {
    return device_result::kReadFault;
  }
  velocity = lag_.state().velocity;
  return device_result::kOk;
}

void VirtualMotor::setLoad(std::weak_ptr<VirtualMotorLoad> load, int axis) {
  load_ = std::move(load);
  load_axis_ = axis;
}

}  // namespace brenvik
