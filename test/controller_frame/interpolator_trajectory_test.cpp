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

TEST_F(InterpolatorTrajectoryTest, FollowedMoveSucceedsWhenAllAxesReached) {
  auto* move = oneSecondMove();
  ASSERT_DOUBLE_EQ(move->traj_interface_ptrs_[0]->getMotionTime(), 1.0);
  interpolator_->addCmd(move);
  std::string out;
  const int periods = stepUntil([&] { return CommandCounter::live == 0; }, 400, &out);
  EXPECT_NEAR(periods, 202, 1);
  EXPECT_EQ(count(out, "The trajectory executes success."), 1);
  EXPECT_EQ(count(out, "interpolator read new command.\n"), 1);
  for (const auto& motor : arm_.motors) {
    EXPECT_NEAR(motor->position(), 1.0, 1e-4);
  }
  EXPECT_EQ(interpolator_->idleFlag(), 1);
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::NORMAL);
}

TEST_F(InterpolatorTrajectoryTest, ReferenceFollowsPlanWithDerivatives) {
  interpolator_->addCmd(oneSecondMove());
  step();  // first period: reference written, derivatives start from the measured state
  EXPECT_DOUBLE_EQ(interpolator_->lastRefJointState().positions[0], 0.0);
  EXPECT_DOUBLE_EQ(interpolator_->refJointState().velocities[0], 0.0);
  step(100);  // sampled at t = 0.5, the end of the acceleration
  EXPECT_NEAR(arm_.motors[0]->last_command, 0.5, 1e-9);
  // Backward differences of the reference: (q(0.5) - q(0.495)) / 0.005.
  EXPECT_NEAR(interpolator_->refJointState().velocities[0], 1.99, 1e-6);
  EXPECT_NEAR(interpolator_->refJointState().accelerations[0], 4.0, 1e-6);
  EXPECT_NEAR(interpolator_->cmdTime(), 0.505, 1e-9);
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
  // A collision during the pause is still seen.
  EXPECT_EQ(interpolator_->stopFlag(), 0);
}

TEST_F(InterpolatorTrajectoryTest, CollisionDuringPauseIsSeen) {
  interpolator_->setCollisionEnable(true);
  interpolator_->setDragTeachingEnable(false);
  interpolator_->addCmd(oneSecondMove());
  stepUntil([&] { return CommandCounter::live == 0; }, 400);
  step(10);
  arm_.collision_detector->collision = 1;
  const std::string out = step();
  EXPECT_NE(out.find("The arm get collision.\n"), std::string::npos);
  EXPECT_EQ(interpolator_->stopFlag(), 1);
}

TEST_F(InterpolatorTrajectoryTest, BlockingSuccessHasNoPause) {
  auto* move = oneSecondMove();
  move->is_block = true;
  interpolator_->addCmd(move);
  auto* next = makeIo(1, 2);
  interpolator_->addCmd(next);
  std::string out;
  stepUntil([&] { return move->cmd_status.load() == cmd_status::kSucceeded; }, 400, &out);
  EXPECT_NE(out.find("block ...\n"), std::string::npos);
  EXPECT_EQ(out.find("The trajectory executes success."), std::string::npos);
  out = step(4);
  EXPECT_EQ(count(out, "block ...\n"), 4);
  EXPECT_EQ(next->cmd_status.load(), cmd_status::kQueued);
  move->is_block = false;
  out = step();
  EXPECT_NE(out.find("delete block cmd\n"), std::string::npos);
  EXPECT_EQ(CommandCounter::live, 0);
  step();
  EXPECT_EQ(next->cmd_status.load(), cmd_status::kExecuting);
}

TEST_F(InterpolatorTrajectoryTest, AxisOutsideThresholdReportsUntilTimeLimit) {
  arm_.motors[1]->position_offset = 0.02;  // threshold 0.01
  auto* move = oneSecondMove();
  move->is_block = true;
  interpolator_->addCmd(move);
  std::string out;
  stepUntil([&] { return move->cmd_status.load() == cmd_status::kFailed; }, 5000, &out);
  EXPECT_EQ(move->cmd_status.load(), cmd_status::kFailed);
  EXPECT_GT(interpolator_->cmdTime(), 20.0);
  // Reported every period from arrival to the limit.
  const int reports = count(out,
                            "2 axis pos:1.020000,goal:1.000000,abs(det_theta)=0.020000,"
                            "threshold=0.010000\n");
  EXPECT_NEAR(reports, (20.0 - 1.0) / 0.005, 3);
  EXPECT_EQ(count(out, "1 axis pos:"), 0);
  move->is_block = false;
  step();
  EXPECT_EQ(CommandCounter::live, 0);
}

TEST_F(InterpolatorTrajectoryTest, TimeLimitOfNonBlockingMove) {
  arm_.motors[0]->position_offset = 0.02;
  interpolator_->addCmd(oneSecondMove());
  std::string out;
  stepUntil([&] { return CommandCounter::live == 0; }, 5000, &out);
  EXPECT_NE(out.find("time is over 20s or collision!\n"), std::string::npos);
  EXPECT_EQ(Logger::instance()->statusCode(), error_code::kTrajectoryTimeout);
}

TEST_F(InterpolatorTrajectoryTest, DrivesOffStopsTheMove) {
  auto* move = oneSecondMove();
  move->is_block = true;
  interpolator_->addCmd(move);
  step(10);
  arm_.motors[4]->enabled = false;
  const std::string out = step();
  EXPECT_NE(out.find("enable is OFF, the trajectory can not be executed!\n"), std::string::npos);
  EXPECT_EQ(move->cmd_status.load(), cmd_status::kStopped);
  move->is_block = false;
  step();
  EXPECT_EQ(CommandCounter::live, 0);
}

TEST_F(InterpolatorTrajectoryTest, MeasuredVelocityOverLimitStops) {
  MotionTestArmOptions options;
  options.axis_num = 3;
  options.max_joint_vel = 1.0;
  build(options);
  auto* move = makeMove<Counted<AllAxisesJointPlanCmd>>({0.5, 0.5, 0.5});
  move->is_block = true;
  interpolator_->addCmd(move);
  step(5);
  arm_.motors[2]->velocity = 1.2;
  const std::string out = step();
  EXPECT_NE(out.find(std::string(COLOR_BOLD_RED) +
                     "The axis 3 planned velocity is 1.2 exceed the limit:1" + COLOR_RESET),
            std::string::npos)
      << out;
  EXPECT_EQ(move->cmd_status.load(), cmd_status::kStopped);
  move->is_block = false;
  step();
}

TEST_F(InterpolatorTrajectoryTest, MotorWriteFailureIsFatal) {
  auto* move = oneSecondMove();
  move->is_block = true;
  interpolator_->addCmd(move);
  step(3);
  arm_.motors[1]->set_position_error = 7;
  const std::string out = step();
  EXPECT_NE(out.find("2 (start from 1) axis setMotorPosition error! error code=<7>\n"),
            std::string::npos);
  EXPECT_NE(out.find("The MOTOR write error.\n"), std::string::npos);
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::FATAL);
  EXPECT_EQ(move->cmd_status.load(), cmd_status::kStopped);
  move->is_block = false;
  step();
}

TEST_F(InterpolatorTrajectoryTest, UnplannedMoveNeverReachesMotors) {
  auto* move = new Counted<AllAxisesJointPlanCmd>(arm_.robot);
  for (int i = 0; i < 5; ++i) {
    auto planner = std::make_unique<TrapezoidPlanner>();
    TrapezoidPlannerInput in;
    in.q1 = 1.0;
    planner->setInput(&in);  // never planned
    move->traj_interface_ptrs_.push_back(std::move(planner));
  }
  interpolator_->addCmd(move);
  const std::string out = step();
  EXPECT_NE(out.find("calAllJointsPostion return error!\n"), std::string::npos);
  for (const auto& motor : arm_.motors) {
    EXPECT_EQ(motor->set_position_calls, 0);
  }
  EXPECT_EQ(CommandCounter::live, 0);
}

TEST_F(InterpolatorTrajectoryTest, MoveWithoutPlanners) {
  interpolator_->addCmd(new Counted<AllAxisesJointPlanCmd>(arm_.robot));
  const std::string out = step();
  EXPECT_NE(out.find("It does not have a trajectory_interface when cal joint pos\n"),
            std::string::npos);
  EXPECT_NE(out.find("calAllJointsPostion return error!\n"), std::string::npos);
  EXPECT_EQ(CommandCounter::live, 0);
}

TEST_F(InterpolatorTrajectoryTest, CartesianMoveWithoutPathIsRefused) {
  auto* cartesian = new Counted<AbstractCmdInterface>(cmd_type::kCartesianTrajectory, arm_.robot);
  cartesian->is_block = true;
  interpolator_->addCmd(cartesian);
  const std::string out = step();
  EXPECT_NE(out.find("calAllJointsPostion return error!\n"), std::string::npos);
  EXPECT_EQ(cartesian->cmd_status.load(), cmd_status::kFailed);
  for (const auto& motor : arm_.motors) {
    EXPECT_EQ(motor->set_position_calls, 0);
  }
  cartesian->is_block = false;
  step();
  EXPECT_EQ(CommandCounter::live, 0);
}

TEST_F(InterpolatorTrajectoryTest, SplineMoveRunsToItsLastKnot) {
  auto* move = new Counted<AllAxisesJointPlanCmd>(arm_.robot);
  for (int i = 0; i < 5; ++i) {
    auto planner = std::make_unique<CubicPlanner>();
    const CubicPlannerInput in{{0.0, 0.2, 0.5, 0.4 + 0.1 * i}, {0.0, 0.3, 0.7, 1.0}};
    planner->setInput(&in);
    move->traj_interface_ptrs_.push_back(std::move(planner));
  }
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(move->planAllJoints(), 0);
  ::testing::internal::GetCapturedStdout();
  interpolator_->addCmd(move);
  std::string out;
  const int periods = stepUntil([&] { return CommandCounter::live == 0; }, 400, &out);
  EXPECT_NEAR(periods, 203, 2);
  EXPECT_NE(out.find("The trajectory executes success."), std::string::npos);
  EXPECT_NEAR(arm_.motors[4]->position(), 0.8, 1e-3);
}

}  // namespace
}  // namespace brenvik
