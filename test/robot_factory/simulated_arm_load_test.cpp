#include "robot_factory/simulated_arm_load.h"

#include <gtest/gtest.h>

#include "common/logger.h"
#include "controller_frame/interpolator.h"
#include "controller_frame/joint_move_builder.h"
#include "robot_factory/brenvik_bot_v5.h"
#include "support/fake_loop_clock.h"
#include "support/robot_para_files.h"

namespace brenvik {
namespace {

// The simulated arm of the shipped parameter file, driven by the control loop period by period:
// its drives report the torque the loop estimates (gravity on the shoulder, none on the wrist);
// with collision detection on, moves of the lagging drives (one joint only, then to where the arm
// already is) queued behind one another raise no collision, and drag teaching then leaves the arm
// where it is.
TEST(SimulatedArmTest, DrivesCarryTheEstimatedLoadAndMovesRaiseNoCollision) {
  Logger::instance()->reset();
  ::testing::internal::CaptureStdout();
  auto robot = std::make_shared<BrenvikBotV5>(test::kSimParaFile);
  Interpolator loop(robot, std::make_shared<testing::FakeLoopClock>());
  for (const AxisPara& axis : robot->robot_para_.axis_paras) axis.motor->setEnableStatus(true);
  int periods = 0;
  double largest_residual = 0.0;
  bool collided = false;
  const auto step = [&] {
    loop.update(periods++ * Interpolator::kPeriod);
    const std::vector<double>& data = loop.collisionData();
    for (int j = 0; j < 3 && data.size() >= 14; ++j) {
      largest_residual = std::max(largest_residual, std::fabs(data[9 + j]));
    }
    collided = collided || loop.isCollision();
  };
  step();
  const std::vector<double>& measured = loop.actualJointState().efforts;
  const std::vector<double>& estimate = loop.dynamicTorqueEstimate();
  EXPECT_GT(std::fabs(estimate[1]), 1.0);
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(measured[j], estimate[j], 1e-12) << j;
  EXPECT_EQ(std::vector<double>(measured.begin() + 3, measured.end()), std::vector<double>(2));

  loop.setCollisionEnable(true);
  loop.setDragTeachingEnable(true);
  JointMoveBuilder builder(robot, [](const std::string&) {});
  const std::vector<double> target = {1.2, -0.8, 0.4, 1.5, -2.0};
  std::vector<AllAxisesJointPlanCmd*> cmds;
  for (double q3 : {1.0, 0.4, 0.4}) {
    std::vector<double> to = target;
    to[2] = q3;
    JointMove move = builder.pointToPoint(loop.getMotionStartPoint(), to, 1.0, 1.0);
    ASSERT_EQ(move.result, joint_move_result::kOk) << move.message;
    cmds.push_back(move.cmd.release());
    cmds.back()->is_block = true;  // the issuer reads the outcome, then lets go
    loop.addCmd(cmds.back());
  }
  std::vector<int> statuses;
  for (AllAxisesJointPlanCmd* cmd : cmds) {
    for (int k = 0;
         k < 2000 && cmd->cmd_status != cmd_status::kSucceeded &&
         cmd->cmd_status != cmd_status::kFailed && cmd->cmd_status != cmd_status::kStopped;
         ++k) {
      step();
    }
    statuses.push_back(cmd->cmd_status);
    cmd->is_block = false;
    step();
  }
  for (int k = 0; k < 100; ++k) step();  // the drives settle
  const std::vector<double> settled = loop.actualJointState().positions;
  for (int k = 0; k < 400; ++k) step();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(statuses, std::vector<int>(3, cmd_status::kSucceeded)) << out.substr(0, 3000);
  EXPECT_FALSE(collided);
  EXPECT_LT(largest_residual, 0.5);
  EXPECT_EQ(loop.actualJointState().positions, settled);
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(settled[i], target[i], 1e-12) << i;
  Logger::instance()->reset();
}

}  // namespace
}  // namespace brenvik
