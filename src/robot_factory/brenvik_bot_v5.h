#pragma once

#include <string>

#include "robot_factory/robot.h"

namespace brenvik {

// The five-axis arm: a Robot whose constructor also builds its kinematics, dynamics, collision
// detector and force-control objects from the parameter record.
class BrenvikBotV5 : public Robot {
 public:
  explicit BrenvikBotV5(const std::string& robot_para_file);
  explicit BrenvikBotV5(RobotPara robot_para);

 private:
  void buildModels();
};

}  // namespace brenvik
