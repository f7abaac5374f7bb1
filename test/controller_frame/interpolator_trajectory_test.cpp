#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/logger.h"
#include "controller_frame/cubic_planner.h"
#include "controller_frame/interpolator.h"
#include "support/interpolator_test_fixture.h"

namespace brenvik {
namespace {

using testing::CommandCounter;
using testing::Counted;
using testing::InterpolatorTest;
using testing::MotionTestArmOptions;
using testing::RecordingStatusPublisher;

class InterpolatorTrajectoryTest : public InterpolatorTest {
 protected:
  // 1.0 s move of every axis by 1 rad (vmax 2, acceleration 4: triangular, peak exactly 2).
  AllAxisesJointPlanCmd* oneSecondMove() {
    return makeMove<Counted<AllAxisesJointPlanCmd>>({1.0, 1.0, 1.0, 1.0, 1.0});
  }
};

TEST_F(InterpolatorTrajectoryTest, FollowedMoveTracksThePlanAndSucceeds) {
  auto* move = oneSecondMove();
  ASSERT_DOUBLE_EQ(move->traj_interface_ptrs_[0]->getMotionTime(), 1.0);
  interpolator_->addCmd(move);
  std::string out = step();  // reference written, derivatives start from the measured state
  EXPECT_DOUBLE_EQ(interpolator_->lastRefJointState().positions[0], 0.0);
  EXPECT_DOUBLE_EQ(interpolator_->refJointState().velocities[0], 0.0);
  step(100);  // sampled at t = 0.5, the end of the acceleration
  EXPECT_NEAR(arm_.motors[0]->last_command, 0.5, 1e-9);
  // Backward differences of the reference: (q(0.5) - q(0.495)) / 0.005.
  EXPECT_NEAR(interpolator_->refJointState().velocities[0], 1.99, 1e-6);
  EXPECT_NEAR(interpolator_->refJointState().accelerations[0], 4.0, 1e-6);
  EXPECT_NEAR(interpolator_->cmdTime(), 0.505, 1e-9);
  const int periods = 101 + stepUntil([&] { return CommandCounter::live == 0; }, 400, &out);
  EXPECT_NEAR(periods, 202, 1);
  EXPECT_EQ(count(out, "The trajectory executes success."), 1);
  EXPECT_EQ(count(out, "interpolator read new command.\n"), 1);
  for (const auto& motor : arm_.motors) {
    EXPECT_NEAR(motor->position(), 1.0, 1e-4);
  }
  EXPECT_EQ(interpolator_->idleFlag(), 1);
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::NORMAL);
}

TEST_F(InterpolatorTrajectoryTest, PauseAfterSuccessHoldsOnlyTheNextCommand) {
  auto publisher = std::make_shared<RecordingStatusPublisher>();
  interpolator_->setStatusPublisher(publisher);
  interpolator_->addStatusTopic(Interpolator::kActualJointState, "current_actual_joint");
  interpolator_->setCollisionEnable(true);
  interpolator_->setDragTeachingEnable(false);
  interpolator_->addCmd(oneSecondMove());
  auto* next = makeIo(1, 2);
  interpolator_->addCmd(next);
  stepUntil([&] { return CommandCounter::live == 0; }, 400);
  const double success_time = interpolator_->currentTime();
  const size_t publishes = publisher->publishes.size();
  const int detections = arm_.collision_detector->detect_calls;
  // The loop goes on every period, but the next command waits 500 ms.
  const int waited =
      stepUntil([&] { return next->cmd_status.load() == cmd_status::kExecuting; }, 200);
  EXPECT_EQ(waited, 100);
  EXPECT_NEAR(interpolator_->currentTime() - success_time, 0.5, 1e-9);
  EXPECT_EQ(publisher->publishes.size(), publishes + 100);
  EXPECT_EQ(arm_.collision_detector->detect_calls, detections + 100);
  EXPECT_EQ(interpolator_->stopFlag(), 0);
}

TEST_F(InterpolatorTrajectoryTest, AxisOutsideThresholdReportsUntilTimeLimit) {
  arm_.motors[1]->position_offset = 0.02;  // threshold 0.01
  auto* move = oneSecondMove();
  move->is_block = true;
  interpolator_->addCmd(move);
  std::string out;
  stepUntil([&] { return move->cmd_status.load() == cmd_status::kFailed; }, 5000, &out);
  EXPECT_EQ(move->cmd_status.load(), cmd_status::kFailed);
  // Reported once, when the axis is found outside, not every period up to the limit.
  EXPECT_EQ(count(out, "2 axis pos:"), 1) << out.substr(0, 2000);
  EXPECT_EQ(count(out, "time is over 20s or collision!\n"), 1);
  move->is_block = false;
  step();
  EXPECT_EQ(CommandCounter::live, 0);
}

// Commands without a usable path never reach the motors.
struct NoPathCase {
  const char* name;
  AbstractCmdInterface* (*make)(std::shared_ptr<Robot>);
  const char* message;
  int status;
};

class InterpolatorNoPath : public InterpolatorTrajectoryTest,
                           public ::testing::WithParamInterface<NoPathCase> {};

TEST_P(InterpolatorNoPath, NeverReachesTheMotors) {
  AbstractCmdInterface* cmd = GetParam().make(arm_.robot);
  cmd->is_block = true;
  interpolator_->addCmd(cmd);
  const std::string out = step();
  EXPECT_NE(out.find(GetParam().message), std::string::npos) << out;
  EXPECT_NE(out.find("calAllJointsPostion return error!\n"), std::string::npos);
  EXPECT_EQ(cmd->cmd_status.load(), GetParam().status);
  for (const auto& motor : arm_.motors) {
    EXPECT_EQ(motor->set_position_calls, 1);  // the hold at start-up only
  }
  cmd->is_block = false;
  step();
  EXPECT_EQ(CommandCounter::live, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InterpolatorNoPath,
    ::testing::Values(NoPathCase{"unplanned",
                                 [](std::shared_ptr<Robot> robot) -> AbstractCmdInterface* {
                                   auto* move = new Counted<AllAxisesJointPlanCmd>(robot);
                                   for (int i = 0; i < 5; ++i) {
                                     auto planner = std::make_unique<TrapezoidPlanner>();
                                     TrapezoidPlannerInput in;
                                     in.q1 = 1.0;
                                     planner->setInput(&in);  // never planned
                                     move->traj_interface_ptrs_.push_back(std::move(planner));
                                   }
                                   return move;
                                 },
                                 "", cmd_status::kFailed},
                      NoPathCase{"no_planners",
                                 [](std::shared_ptr<Robot> robot) -> AbstractCmdInterface* {
                                   return new Counted<AllAxisesJointPlanCmd>(robot);
                                 },
                                 "It does not have a trajectory_interface when cal joint pos\n",
                                 cmd_status::kFailed},
                      NoPathCase{"cartesian",
                                 [](std::shared_ptr<Robot> robot) -> AbstractCmdInterface* {
                                   return new Counted<AbstractCmdInterface>(
                                       cmd_type::kCartesianTrajectory, robot);
                                 },
                                 "", cmd_status::kFailed}),
    [](const ::testing::TestParamInfo<NoPathCase>& param_info) { return param_info.param.name; });

TEST_F(InterpolatorTrajectoryTest, SplineMoveRunsToItsLastKnot) {
  auto* move = new Counted<AllAxisesJointPlanCmd>(arm_.robot);
  for (int i = 0; i < 5; ++i) {
    auto planner = std::make_unique<CubicPlanner>();
    const CubicPlannerInput in{{0.0, 0.2, 0.5, 0.4 + 0.1 * i}, {0.0, 0.6, 1.4, 2.0}};
    planner->setInput(&in);
    move->traj_interface_ptrs_.push_back(std::move(planner));
  }
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(move->planAllJoints(), 0);
  ::testing::internal::GetCapturedStdout();
  interpolator_->addCmd(move);
  std::string out;
  const int periods = stepUntil([&] { return CommandCounter::live == 0; }, 800, &out);
  EXPECT_NEAR(periods, 403, 2);
  EXPECT_NE(out.find("The trajectory executes success."), std::string::npos);
  EXPECT_NEAR(arm_.motors[4]->position(), 0.8, 1e-3);
}

}  // namespace
}  // namespace brenvik
