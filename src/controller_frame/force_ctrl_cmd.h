#pragma once

#include <memory>

#include "controller_frame/abstract_cmd_interface.h"

namespace brenvik {

// Force control (cmd_type::kForceCtrl). No command node creates one yet; the control loop's
// force-control step reads `active`: false switches force control off, true runs it for up to
// 5 s.
class ForceCtrlCmd : public AbstractCmdInterface {
 public:
  explicit ForceCtrlCmd(std::shared_ptr<Robot> robot)
      : AbstractCmdInterface(cmd_type::kForceCtrl, std::move(robot)) {}

  bool active = false;
};

}  // namespace brenvik
