#pragma once

#include "devices/ctrl_io_interface.h"

namespace brenvik {

// Simulated control-IO device. It reports the last commanded value as its state (-1 before any
// command), so that a command completes in the period after it was sent, as a real device that
// reaches its commanded state does. Both operations return 0.
class VirtualGripper : public CtrlIoInterface {
 public:
  int setCmd(int cmd) override;
  int getState(int& state) override;

 private:
  int state_ = -1;
};

}  // namespace brenvik
