#pragma once

#include <functional>

#include "devices/ctrl_motor_interface.h"

namespace brenvik::testing {

// A motor whose behaviour a test scripts: by default it follows every position command at once
// (like VirtualMotor) and reports the scripted velocity, torque and enable state. Each operation
// can be made to fail with a chosen device code, and every call is counted.
class ScriptedMotor : public CtrlMotorInterface {
 public:
  int init() override { return 0; }

  int setMotorPosition(double position) override {
    ++set_position_calls;
    if (set_position_error != 0) {
      return set_position_error;
    }
    last_command = position;
    if (follow_commands) {
      position_ = position + position_offset;
    }
    return 0;
  }
  int getMotorPosition(double& position) override {
    ++get_position_calls;
    if (on_position_read) {
      on_position_read();
    }
    if (get_position_error != 0) {
      return get_position_error;
    }
    position = position_;
    return 0;
  }
  int setEnableStatus(bool enable) override {
    ++set_enable_calls;
    if (set_enable_error != 0) {
      return set_enable_error;
    }
    commanded_enable = enable;
    reads_since_enable_command = 0;
    return 0;
  }
  // Reports the commanded state once enable_delay_reads reads have passed since the command;
  // before any command (or before the delay) it reports `enabled`.
  int getEnableStatus(bool& out) override {
    ++get_enable_calls;
    if (get_enable_error != 0) {
      return get_enable_error;
    }
    if (reads_since_enable_command >= 0 && ++reads_since_enable_command > enable_delay_reads &&
        enable_follows_command) {
      enabled = commanded_enable;
    }
    out = enabled;
    return 0;
  }
  int setHome(int value) override {
    ++set_home_calls;
    last_home_value = value;
    if (set_home_error != 0) {
      return set_home_error;
    }
    position_ = 0.0;
    return 0;
  }
  int getTorque(double& out) override {
    if (get_torque_error != 0) {
      return get_torque_error;
    }
    out = torque;
    return 0;
  }
  int getVelocity(double& out) override {
    if (get_velocity_error != 0) {
      return get_velocity_error;
    }
    out = velocity;
    return 0;
  }

  double position() const { return position_; }
  void setPosition(double p) { position_ = p; }

  // Script.
  bool follow_commands = true;
  double position_offset = 0.0;  // the motor settles this far from every command
  double velocity = 0.0;
  double torque = 0.0;
  bool enabled = true;
  bool enable_follows_command = true;
  int enable_delay_reads = 0;
  std::function<void()> on_position_read;
  int set_position_error = 0;
  int get_position_error = 0;
  int set_enable_error = 0;
  int get_enable_error = 0;
  int set_home_error = 0;
  int get_torque_error = 0;
  int get_velocity_error = 0;

  // Record.
  int set_position_calls = 0;
  int get_position_calls = 0;
  int set_enable_calls = 0;
  int get_enable_calls = 0;
  int set_home_calls = 0;
  int last_home_value = 0;
  double last_command = 0.0;
  bool commanded_enable = false;
  int reads_since_enable_command = -1;

 private:
  double position_ = 0.0;
};

}  // namespace brenvik::testing
