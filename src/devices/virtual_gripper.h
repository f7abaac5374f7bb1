#pragma once

#include "devices/ctrl_io_interface.h"
#include "devices/simulated_device_faults.h"

namespace brenvik {

// Simulated control-IO device. It reports the last commanded value as its state (-1 before any
// command), so that a command completes in the period after it was sent, as a real device that
// reaches its commanded state does. Both operations return 0, or device_result::kNoAnswer (state
// untouched) when the device is given never_answers.
class VirtualGripper : public CtrlIoInterface {
 public:
  explicit VirtualGripper(const VirtualIoFaults& faults = {}) : faults_(faults) {}

  int setCmd(int cmd) override;
  int getState(int& state) override;

 private:
  VirtualIoFaults faults_;
  int state_ = -1;
};

}  // namespace brenvik
