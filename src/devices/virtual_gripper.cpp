#include "devices/virtual_gripper.h"

namespace brenvik {

int VirtualGripper::setCmd(int cmd) {
  state_ = cmd;
  return 0;
}

int VirtualGripper::getState(int& state) {
  state = state_;
  return 0;
}

}  // namespace brenvik
