#include "robot_factory/utility/load_robot_para.h"

namespace brenvik {

int LoadRobotPara::load(const std::string& /*path*/, RobotPara& /*robot_para*/) {
  return load_result::kMissing;
}

}  // namespace brenvik
