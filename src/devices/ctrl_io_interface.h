#pragma once

// One control-IO device (gripper, lifter). The maker's libctrl_io derives its devices from this
// interface. getState reports the device state in the value space of setCmd's commands, so that
// a command is done when the state equals the commanded value.
// Called by the loader on the main thread at start-up, afterwards only by the control thread.
class CtrlIoInterface {
 public:
  virtual ~CtrlIoInterface() = default;

  [[nodiscard]] virtual int setCmd(int cmd) = 0;
  [[nodiscard]] virtual int getState(int& state) = 0;
};
