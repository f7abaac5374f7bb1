#include "robot_factory/simulated_arm_load.h"

#include <gtest/gtest.h>

#include "common/logger.h"
#include "controller_frame/interpolator.h"
#include "robot_factory/brenvik_bot_v5.h"
#include "support/fake_loop_clock.h"
#include "support/robot_para_files.h"

namespace brenvik {
namespace {

TEST(SimulatedArmTest, DrivesCarryTheEstimatedLoad) {
  Logger::instance()->reset();
  ::testing::internal::CaptureStdout();
  auto robot = std::make_shared<BrenvikBotV5>(test::kSimParaFile);
  Interpolator loop(robot, std::make_shared<testing::FakeLoopClock>());
  for (const AxisPara& axis : robot->robot_para_.axis_paras) axis.motor->setEnableStatus(true);
  loop.update(0.0);
  ::testing::internal::GetCapturedStdout();
  const std::vector<double>& measured = loop.actualJointState().efforts;
  const std::vector<double>& estimate = loop.dynamicTorqueEstimate();
  EXPECT_GT(std::fabs(estimate[1]), 1.0);
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(measured[j], estimate[j], 1e-12) << j;
  EXPECT_EQ(std::vector<double>(measured.begin() + 3, measured.end()), std::vector<double>(2));
  Logger::instance()->reset();
}

}  // namespace
}  // namespace brenvik
