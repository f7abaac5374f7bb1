#include "devices/virtual_gripper.h"

namespace brenvik {

int VirtualGripper::setCmd(int cmd) {
  if (faults_.never_answers) {
    return device_result::kNoAnswer;
  }
  state_ = cmd;
  return device_result::kOk;
}

int VirtualGripper::getState(int& state) {
  if (faults_.never_answers) {
    return device_result::kNoAnswer;
  }
  state = state_;
  return device_result::kOk;
}

}  // namespace brenvik
