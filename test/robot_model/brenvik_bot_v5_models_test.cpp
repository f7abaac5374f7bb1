#include <gtest/gtest.h>

#include <cfloat>
#include <random>
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

// The kinematics of the simulated arm's file answer only inside the file's joint limits.
TEST(BrenvikBotV5ModelsTest, InverseKinematicsKeepsTheFileJointLimits) {
  CaptureStdout();
  BrenvikBotV5 robot(std::string(BRENVIK_SIM_PARA_FILE));
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> angle(-3.1, 3.1);
  int answered = 0, refused = 0;
  for (int sample = 0; sample < 300; ++sample) {
    std::vector<double> q(5), joints;
    for (double& value : q) value = angle(rng);
    const int r =
        robot.kinematics_->inverseKinematics(robot.kinematics_->forwardKinematics(q), q, joints);
    refused += r == kinematics_result::kOutsideJointLimits ? 1 : 0;
    if (r != kinematics_result::kOk) continue;
    ++answered;
    for (int i = 0; i < 5; ++i) {
      ASSERT_GE(joints[i], robot.robot_para_.axis_paras[i].min_joint_pos);
      ASSERT_LE(joints[i], robot.robot_para_.axis_paras[i].max_joint_pos);
    }
  }
  GetCapturedStdout();
  EXPECT_GT(answered, 50);
  EXPECT_GT(refused, 50);
}

}  // namespace
}  // namespace brenvik
