#pragma once

#include <memory>
#include <vector>

#include "controller_frame/abstract_cmd_interface.h"

namespace brenvik {

// Enable or disable all drives, or set home (cmd_type::kMotorIo).
class MotorIoCmd : public AbstractCmdInterface {
 public:
  explicit MotorIoCmd(std::shared_ptr<Robot> robot)
      : AbstractCmdInterface(cmd_type::kMotorIo, std::move(robot)) {}

  // Asks every axis motor getEnableStatus in axis order and ANDs the states. True when
  // enable_flags holds exactly one entry equal to that AND (so a disable is reached as soon as one
  // drive reports disabled). A device error prints its axis line and gives false.
  // Control thread only (calls the devices).
  [[nodiscard]] bool checkEnableStatus() const;

  // The requested state, exactly one entry (true = enable); any other length makes the enable
  // command a no-op that ends in a time-out.
  std::vector<bool> enable_flags;
  // motor_io_type::kEnable or kSetHome.
  int motor_io_type = motor_io_type::kEnable;
};

}  // namespace brenvik
