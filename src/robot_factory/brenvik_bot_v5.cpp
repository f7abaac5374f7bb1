#include "robot_factory/brenvik_bot_v5.h"

namespace brenvik {

BrenvikBotV5::BrenvikBotV5(const std::string& robot_para_file) : Robot(robot_para_file) {
  buildModels();
}

BrenvikBotV5::BrenvikBotV5(RobotPara robot_para) : Robot(std::move(robot_para)) { buildModels(); }

void BrenvikBotV5::buildModels() {}

}  // namespace brenvik
