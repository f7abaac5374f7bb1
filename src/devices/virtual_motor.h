#pragma once

#include "devices/ctrl_motor_interface.h"

namespace brenvik {

// Simulated motor: follows every position command instantly, reports zero velocity and torque.
// Every operation returns 0.
class VirtualMotor : public CtrlMotorInterface {
 public:
  // motor_id: axis number, 1 for the first axis.
  explicit VirtualMotor(int motor_id) : motor_id_(motor_id) {}

  int init() override { return 0; }
  int setMotorPosition(double position) override;
  int getMotorPosition(double& position) override;
  int setEnableStatus(bool enable) override;
  int getEnableStatus(bool& enabled) override;
  int setHome(int value) override;  // position back to 0.0; value ignored
  int getTorque(double& torque) override;
  int getVelocity(double& velocity) override;

  int motorId() const { return motor_id_; }

 private:
  int motor_id_;
  double position_ = 0.0;
  bool enable_status_ = false;  // drives start disabled
};

}  // namespace brenvik
