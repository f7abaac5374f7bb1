#include "robot_factory/simulated_arm_load.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/logger.h"
#include "controller_frame/interpolator.h"
#include "controller_frame/joint_move_builder.h"
#include "robot_factory/brenvik_bot_v5.h"
#include "support/fake_loop_clock.h"
#include "support/robot_para_files.h"

namespace brenvik {
namespace {

// The simulated arm of the shipped parameter file, driven by the control loop period by period.
class SimulatedArmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Logger::instance()->reset();
    ::testing::internal::CaptureStdout();
    robot_ = std::make_shared<BrenvikBotV5>(test::kSimParaFile);
    interpolator_ = std::make_unique<Interpolator>(robot_, clock_);
    ::testing::internal::GetCapturedStdout();
    for (const AxisPara& axis : robot_->robot_para_.axis_paras) {
      ASSERT_EQ(axis.motor->setEnableStatus(true), 0);
    }
  }
  void TearDown() override {
    interpolator_.reset();
    Logger::instance()->reset();
  }

  // One period; the largest |residual| of joints 1..3 in the collision record so far.
  void step() {
    interpolator_->update(periods_++ * Interpolator::kPeriod);
    const std::vector<double>& data = interpolator_->collisionData();
    if (data.size() >= 4 + 2 * 5) {
      for (int j = 0; j < 3; ++j)
        largest_residual_ = std::max(largest_residual_, std::fabs(data[9 + j]));
    }
    collided_ = collided_ || interpolator_->isCollision();
  }

  std::shared_ptr<testing::FakeLoopClock> clock_ = std::make_shared<testing::FakeLoopClock>();
  std::shared_ptr<BrenvikBotV5> robot_;
  std::unique_ptr<Interpolator> interpolator_;
  int periods_ = 0;
  double largest_residual_ = 0.0;
  bool collided_ = false;
};

TEST_F(SimulatedArmTest, DrivesReportTheTorqueTheControlLoopEstimates) {
  ::testing::internal::CaptureStdout();
  step();
  ::testing::internal::GetCapturedStdout();
  const std::vector<double>& measured = interpolator_->actualJointState().efforts;
  const std::vector<double>& estimate = interpolator_->dynamicTorqueEstimate();
  EXPECT_GT(std::fabs(estimate[1]), 1.0);  // gravity on the shoulder
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(measured[j], estimate[j], 1e-12) << j;
  EXPECT_EQ(measured[3], 0.0);
  EXPECT_EQ(measured[4], 0.0);
}

// Collision detection on: moves of the lagging drives arrive without a collision, a move of one
// joint and a move to where the arm already is included, queued behind one another; drag
// teaching then leaves the arm where it is.
TEST_F(SimulatedArmTest, MovesRaiseNoCollisionAndDragTeachingDoesNotDrift) {
  interpolator_->setCollisionEnable(true);
  interpolator_->setDragTeachingEnable(true);
  JointMoveBuilder builder(robot_, [](const std::string&) {});
  const std::vector<std::vector<double>> targets = {
      {1.2, -0.8, 1.0, 1.5, -2.0}, {1.2, -0.8, 0.4, 1.5, -2.0}, {1.2, -0.8, 0.4, 1.5, -2.0}};
  std::vector<AllAxisesJointPlanCmd*> cmds;
  ::testing::internal::CaptureStdout();
  for (const std::vector<double>& target : targets) {
    JointMove move = builder.pointToPoint(interpolator_->getMotionStartPoint(), target, 1.0, 1.0);
    ASSERT_EQ(move.result, joint_move_result::kOk) << move.message;
    cmds.push_back(move.cmd.release());
    cmds.back()->is_block = true;  // the issuer reads the outcome, then lets go
    interpolator_->addCmd(cmds.back());
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
  const std::vector<double> settled = interpolator_->actualJointState().positions;
  for (int k = 0; k < 400; ++k) step();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(statuses, std::vector<int>(3, cmd_status::kSucceeded)) << out.substr(0, 3000);
  EXPECT_FALSE(collided_);
  EXPECT_LT(largest_residual_, 0.5);
  EXPECT_EQ(interpolator_->actualJointState().positions, settled);
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(settled[i], targets.back()[i], 1e-12) << i;
}

}  // namespace
}  // namespace brenvik
