#include "controller_frame/motor_io_cmd.h"

#include <cstdio>

#include "common/logger.h"

namespace brenvik {

bool MotorIoCmd::checkEnableStatus() const {
  bool all_enabled = true;
  const std::vector<AxisPara>& axes = robot_->robot_para_.axis_paras;
  for (size_t i = 0; i < axes.size(); ++i) {
    bool enabled = false;
    const int code = axes[i].motor->getEnableStatus(enabled);
    if (code != 0) {
      Logger::instance()->print("The <%d> axis return error_code=<%d> when getEnableStatus.\n",
                                static_cast<int>(i) + 1, code);
      return false;
    }
    all_enabled = all_enabled && enabled;
  }
  return enable_flags.size() == 1 && enable_flags[0] == all_enabled;
}

}  // namespace brenvik
