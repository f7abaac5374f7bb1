#include "robot_factory/brenvik_bot_v5.h"

#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "common/logger.h"
#include "robot_model/brenvik_bot_v3_kinematics.h"
#include "robot_model/collision_detector_brenvik_bot_v5.h"
#include "robot_model/dynamics_brenvik_bot_v5.h"

namespace brenvik {

BrenvikBotV5::BrenvikBotV5(const std::string& robot_para_file) : Robot(robot_para_file) {
  // Every model of this arm reads five joints: a file of another axis count cannot drive it.
  if (robot_para_.axis_num != kAxisNum) {
    std::cout << COLOR_BOLD_RED << "Error: this arm has " << kAxisNum
              << " axes; the parameter file has axis_num " << robot_para_.axis_num << "."
              << COLOR_RESET << std::endl;
    LOG_STATUS(RobotStatus::FATAL, error_code::kLoadParaFile, "load yaml file failed\n");
    std::exit(1);
  }
  buildModels();
}

BrenvikBotV5::BrenvikBotV5(RobotPara robot_para) : Robot(std::move(robot_para)) {
  if (robot_para_.axis_num != kAxisNum) {
    throw std::invalid_argument("BrenvikBotV5 needs 5 axes, the record has " +
                                std::to_string(robot_para_.axis_num));
  }
  buildModels();
}

void BrenvikBotV5::buildModels() {
  auto kinematics = std::make_shared<BrenvikBotV3Kinematics>();
  const MdhPara& mdh = robot_para_.mdh_para;
  // setMdhPara stores its own copies. A parameter set of another arm type has been reported by
  // setMdhPara and leaves the kinematics at zero; start-up goes on regardless.
  static_cast<void>(kinematics->setMdhPara(mdh.zds, mdh.xas, mdh.alphas, mdh.qzeros));
  // Inverse kinematics answers only with joint values the arm may take.
  std::vector<double> min_joints, max_joints;
  for (const AxisPara& axis : robot_para_.axis_paras) {
    min_joints.push_back(axis.min_joint_pos);
    max_joints.push_back(axis.max_joint_pos);
  }
  if (!min_joints.empty()) {
    static_cast<void>(kinematics->setJointLimits(min_joints, max_joints));
  }
  kinematics_ = kinematics;

  auto dynamics = std::make_shared<DynamicsBrenvikBotV5>();
  dynamics->initDynamics(robot_para_ptr_);
  dynamics_ = dynamics;

  auto collision_detector = std::make_shared<CollisionDetectorBrenvikBotV5>();
  collision_detector->initCollisionDetector(robot_para_ptr_);
  collision_detector_ = collision_detector;

  force_ctrl_function_ = std::make_shared<ForceCtrlFunction>(kinematics_);
  attachSimulatedLoad();
}

void BrenvikBotV5::attachSimulatedLoad() {
  std::vector<std::shared_ptr<VirtualMotor>> drives;
  for (const AxisPara& axis : robot_para_.axis_paras) {
    auto drive = std::dynamic_pointer_cast<VirtualMotor>(axis.motor);
    if (!drive) {
      return;  // a real drive feels the real arm
    }
    drives.push_back(std::move(drive));
  }
  if (static_cast<int>(drives.size()) != robot_para_.axis_num) {
    return;  // a record without its devices
  }
  simulated_load_ = std::make_shared<SimulatedArmLoad>(robot_para_ptr_, drives);
  for (size_t i = 0; i < drives.size(); ++i) {
    drives[i]->setLoad(simulated_load_, static_cast<int>(i));
  }
}

}  // namespace brenvik
