#pragma once

// One axis motor. The maker's libctrl_motor derives its drivers from this interface, so its
// declaration (global namespace, operation order) is the one the maker's library is built
// against.
//
// Every operation returns 0 on success and a device error code otherwise; an out-parameter is
// meaningful only on success. Positions (motor rad), velocities and torques are motor-side values.
// Called by the loader on the main thread at start-up, afterwards only by the control thread.
class CtrlMotorInterface {
 public:
  virtual ~CtrlMotorInterface() = default;

  [[nodiscard]] virtual int init() = 0;
  [[nodiscard]] virtual int setMotorPosition(double position) = 0;
  [[nodiscard]] virtual int getMotorPosition(double& position) = 0;
  [[nodiscard]] virtual int setEnableStatus(bool enable) = 0;
  [[nodiscard]] virtual int getEnableStatus(bool& enabled) = 0;
  // The control loop always passes 3000; its meaning is the driver's.
  [[nodiscard]] virtual int setHome(int value) = 0;
  [[nodiscard]] virtual int getTorque(double& torque) = 0;
  [[nodiscard]] virtual int getVelocity(double& velocity) = 0;
};
