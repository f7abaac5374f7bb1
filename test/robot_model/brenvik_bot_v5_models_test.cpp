#include <gtest/gtest.h>

#include <cfloat>
#include <string>
#include <vector>

#include "robot_factory/brenvik_bot_v5.h"
#include "support/robot_model_test_arms.h"

namespace brenvik {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

const std::vector<double> kZero(5, 0.0);

RobotPara modelRecord() { return *test::modelPara(test::exampleArm("", kZero)); }

TEST(BrenvikBotV5ModelsTest, BuildsEveryModelFromTheRecord) {
  CaptureStdout();
  BrenvikBotV5 robot(modelRecord());
  EXPECT_NE(GetCapturedStdout().find("mdh para"), std::string::npos);
  ASSERT_TRUE(robot.kinematics_ && robot.dynamics_ && robot.collision_detector_);
  ASSERT_TRUE(robot.force_ctrl_function_);
  EXPECT_EQ(robot.force_ctrl_function_->kinematics(), robot.kinematics_);
  EXPECT_NEAR(robot.kinematics_->forwardKinematics(kZero)(0, 3), 0.05 + 0.3 + 0.25 + 0.02, 1e-15);
  EXPECT_EQ(robot.dynamics_->estimateTorque(kZero, kZero, kZero, 0.0)[4], DBL_MAX);
  EXPECT_EQ(robot.collision_detector_->detectCollision(kZero, kZero, {}, {}, {}, 0.0), 0);
}

TEST(BrenvikBotV5ModelsTest, AnotherArmTypeLeavesTheKinematicsAtZeroAndShortCountsThrow) {
  RobotPara record = modelRecord();
  record.mdh_para.alphas[4] = -record.mdh_para.alphas[4];
  CaptureStdout();
  BrenvikBotV5 robot(record);
  EXPECT_NE(GetCapturedStdout().find("the input robot type is not right!!!"), std::string::npos);
  EXPECT_TRUE(robot.kinematics_->forwardKinematics(kZero).isIdentity(0.0));
  record.dynamics_para.friction_para.resize(10);
  EXPECT_THROW(BrenvikBotV5 refused(record), std::invalid_argument);
}

TEST(BrenvikBotV5ModelsTest, BuildsFromTheSimulatedArmFile) {
  CaptureStdout();
  BrenvikBotV5 robot(std::string(BRENVIK_SIM_PARA_FILE));
  const std::vector<double> q = {0.1, 0.2, 0.3, 0.4, 0.5};
  std::vector<double> joints;
  EXPECT_EQ(
      robot.kinematics_->inverseKinematics(robot.kinematics_->forwardKinematics(q), q, joints),
      kinematics_result::kOk);
  EXPECT_NE(GetCapturedStdout().find("mdh para"), std::string::npos);
  ASSERT_EQ(joints.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(joints[i], q[i], 1e-9);
}

}  // namespace
}  // namespace brenvik
