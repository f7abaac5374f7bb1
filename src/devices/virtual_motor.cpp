#include "devices/virtual_motor.h"

namespace brenvik {

int VirtualMotor::setMotorPosition(double position) {
  position_ = position;
  return 0;
}

int VirtualMotor::getMotorPosition(double& position) {
  position = position_;
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
  position_ = 0.0;
  return 0;
}

int VirtualMotor::getTorque(double& torque) {
  torque = 0.0;
  return 0;
}

int VirtualMotor::getVelocity(double& velocity) {
  velocity = 0.0;
  return 0;
}

}  // namespace brenvik
