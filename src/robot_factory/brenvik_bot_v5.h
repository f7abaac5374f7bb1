#pragma once

#include <memory>
#include <string>

#include "robot_factory/robot.h"
#include "robot_factory/simulated_arm_load.h"

namespace brenvik {

// The five-axis arm: a Robot whose constructor also builds its kinematics, dynamics, collision
// detector and force-control objects from the parameter record. When every axis is driven by a
// simulated drive (VirtualMotor), it also gives the drives the torque of the arm they move
// (SimulatedArmLoad), so that collision detection and drag teaching see the simulated arm as
// they would a real one.
class BrenvikBotV5 : public Robot {
 public:
  static constexpr int kAxisNum = 5;

  // Loads the file; a load failure or an axis_num other than 5 logs "load yaml file failed\n"
  // (FATAL, code 2) and ends the process with exit status 1.
  explicit BrenvikBotV5(const std::string& robot_para_file);
  // Throws std::invalid_argument when the record does not have 5 axes.
  explicit BrenvikBotV5(RobotPara robot_para);

 private:
  void buildModels();
  void attachSimulatedLoad();

  std::shared_ptr<SimulatedArmLoad> simulated_load_;  // null unless every drive is simulated
};

}  // namespace brenvik
