#pragma once

#include <climits>
#include <memory>

#include "controller_frame/abstract_cmd_interface.h"

namespace brenvik {

// A command to one control-IO device (cmd_type::kSetIo): io_cmd is sent to the device registered
// under ctrl_io_id in the robot record's ctrl_io_devices; the command is done when the device
// reports io_cmd as its state (5 s time-out).
class SetIoCmd : public AbstractCmdInterface {
 public:
  explicit SetIoCmd(std::shared_ptr<Robot> robot)
      : AbstractCmdInterface(cmd_type::kSetIo, std::move(robot)) {}

  int io_cmd = INT_MIN;
  int ctrl_io_id = INT_MIN;
};

}  // namespace brenvik
