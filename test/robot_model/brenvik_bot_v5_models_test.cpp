#include <gtest/gtest.h>

#include <cfloat>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "robot_factory/brenvik_bot_v5.h"
#include "robot_model/brenvik_bot_v3_kinematics.h"

namespace brenvik {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

constexpr double kPi = 3.14159265358979323846;

// A five-axis record with what the models read; no devices.
RobotPara modelPara() {
  RobotPara para;
  para.axis_num = 5;
  para.mdh_para.zds = {0.2, 0.0, 0.0, 0.0, 0.1};
  para.mdh_para.xas = {0.0, 0.05, 0.3, 0.25, 0.02};
  para.mdh_para.alphas = {0.0, kPi / 2, 0.0, 0.0, -kPi / 2};
  para.mdh_para.qzeros = {0.0, 0.0, 0.0, 0.0, 0.0};
  para.dynamics_para.inertial_para.assign(30, 0.0);
  for (int link = 0; link < 3; ++link) {
    para.dynamics_para.inertial_para[10 * link + 9] = 1.0;  // mass
  }
  para.dynamics_para.friction_para.assign(11, 0.0);
  para.dynamics_application_para.signal_bound_para = {-1, -1, -1, -1, -1, 1, 1, 1, 1, 1, 2};
  para.dynamics_application_para.admittance_para.assign(20, 1.0);
  return para;
}

TEST(BrenvikBotV5ModelsTest, BuildsEveryModelFromTheRecord) {
  CaptureStdout();
  BrenvikBotV5 robot(modelPara());
  const std::string output = GetCapturedStdout();
  EXPECT_NE(output.find("mdh para"), std::string::npos);
  ASSERT_TRUE(robot.kinematics_ && robot.dynamics_ && robot.collision_detector_ &&
              robot.force_ctrl_function_);
  EXPECT_EQ(robot.force_ctrl_function_->kinematics(), robot.kinematics_);

  const std::vector<double> zero(5, 0.0);
  const Eigen::Matrix4d pose = robot.kinematics_->forwardKinematics(zero);
  EXPECT_NEAR(pose(0, 3), 0.05 + 0.3 + 0.25 + 0.02, 1e-15);
  const std::vector<double> torque = robot.dynamics_->estimateTorque(zero, zero, zero, 0.0);
  EXPECT_EQ(torque[3], DBL_MAX);
  EXPECT_EQ(robot.collision_detector_->detectCollision(zero, zero, {}, {}, {}, 0.0), 0);
  EXPECT_EQ(robot.collision_detector_->getCollisionData()[3], 5.0);
}

TEST(BrenvikBotV5ModelsTest, AnotherArmTypeLeavesTheKinematicsAtZero) {
  RobotPara para = modelPara();
  para.mdh_para.alphas[4] = kPi / 2;
  CaptureStdout();
  BrenvikBotV5 robot(para);
  const std::string output = GetCapturedStdout();
  EXPECT_NE(output.find("the input robot type is not right!!!"), std::string::npos);
  ASSERT_TRUE(robot.kinematics_);
  EXPECT_TRUE(robot.kinematics_->forwardKinematics(std::vector<double>(5, 0.0)).isIdentity(0.0));
}

TEST(BrenvikBotV5ModelsTest, ShortModelParametersAreRefused) {
  RobotPara para = modelPara();
  para.dynamics_para.friction_para.resize(10);
  CaptureStdout();
  EXPECT_THROW(BrenvikBotV5 robot(para), std::invalid_argument);
  GetCapturedStdout();
}

TEST(BrenvikBotV5ModelsTest, BuildsFromTheSimulatedArmFile) {
  CaptureStdout();
  BrenvikBotV5 robot(std::string(BRENVIK_SIM_PARA_FILE));
  const std::string output = GetCapturedStdout();
  EXPECT_NE(output.find("mdh para"), std::string::npos);
  std::vector<double> joints;
  const std::vector<double> q = {0.1, 0.2, 0.3, 0.4, 0.5};
  CaptureStdout();
  const int result =
      robot.kinematics_->inverseKinematics(robot.kinematics_->forwardKinematics(q), q, joints);
  GetCapturedStdout();
  EXPECT_EQ(result, kinematics_result::kOk);
  ASSERT_EQ(joints.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_NEAR(joints[i], q[i], 1e-9);
  }
}

}  // namespace
}  // namespace brenvik
