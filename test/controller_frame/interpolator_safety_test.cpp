// The loop's motion against scripted drives, period by period. Wherever the checker is on, every
// period's setpoint must keep the motion rules: finite, inside the joint range, within
// max_joint_vel and max(max_joint_acc, emergency_stop_acc).

#include <gtest/gtest.h>

#include <cfloat>
#include <functional>
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
using testing::MotionTestArmOptions;
using Move = Counted<AllAxisesJointPlanCmd>;

class InterpolatorSafety : public testing::InterpolatorTest {
 public:
  void SetUp() override { lagging(); }
  void lagging(double bandwidth = 300.0, double stop_acc = 2.0) {
    MotionTestArmOptions options;
    options.lag_bandwidth = bandwidth;
    options.emergency_stop_acc = stop_acc;
    build(options, true);
  }
  Move* move(const std::vector<double>& goal, bool block = true, double scale = 1.0) {
    Move* cmd = makeMove(goal, scale);
    cmd->is_block = block;
    interpolator_->addCmd(cmd);
    return cmd;
  }
  testing::MotionTestArm& arm() { return arm_; }
  Interpolator& loop() { return *interpolator_; }
  testing::SetpointChecker& checker() { return *checker_; }
  using InterpolatorTest::step;
  Move* first = nullptr;  // the move to abort, when not the default one
};
using F = InterpolatorSafety;

// A blocking move A under way and a blocking move B queued behind it, planned from A's goal: a
// fault in the middle of A, cleared after `periods`; A ends with `status` and B never runs.
struct AbortCase {
  const char* name;
  std::function<void(F&)> setup, inject;
  int periods;
  std::function<void(F&)> clear;
  int status;
  MotionState after;  // once both are released
  const char* line;   // printed exactly once, or null
  std::function<void(F&)> end;
};

TEST_F(InterpolatorSafety, EveryAbortDeceleratesAndDropsTheQueue) {
  const auto stop = [](F& t) { t.loop().requestStop(); };
  const auto cubic = [](F& t) {  // a spline still under way after 20 s
    t.first = new Move(t.arm().robot);
    const CubicPlannerInput in{{0, 1.5, 0, 1.5, 0, 1.5, 0, 1.5, 0},
                               {0, 3, 6, 9, 12, 15, 18, 21, 24}};
    for (int i = 0; i < 5; ++i) {
      t.first->traj_interface_ptrs_.push_back(std::make_unique<CubicPlanner>());
      t.first->traj_interface_ptrs_.back()->setInput(&in);
    }
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(t.first->planAllJoints(), 0);
    ::testing::internal::GetCapturedStdout();
    t.first->is_block = true;
    t.loop().addCmd(t.first);
  };
  const std::vector<AbortCase> cases = {
      {"stop, lagging drive", nullptr, stop, 3,
       [](F& t) { EXPECT_EQ(t.loop().recover(), interpolator_result::kNotAtRest); },
       cmd_status::kStopped, MotionState::kHolding, nullptr,
       [](F& t) { EXPECT_EQ(t.loop().stopAcc()[0], DBL_MAX); }},
      {"stop, stiff drive", [](F& t) { t.lagging(0.0); }, stop, 1, nullptr, cmd_status::kStopped,
       MotionState::kHolding, nullptr, nullptr},
      // No usable emergency_stop_acc (max_joint_acc instead), a drive drifting: the stop ends.
      {"stop without deceleration", [](F& t) { t.lagging(300.0, 0.0); },
       [](F& t) { t.loop().requestStop(), t.arm().motors[0]->velocity = 0.01; }, 1, nullptr,
       cmd_status::kStopped, MotionState::kHolding, nullptr, nullptr},
      {"collision",
       [](F& t) { t.loop().setCollisionEnable(true), t.loop().setDragTeachingEnable(false); },
       [](F& t) { t.arm().collision_detector->collision = 1; }, 20,
       [](F& t) { t.arm().collision_detector->collision = 0; }, cmd_status::kStopped,
       MotionState::kHolding, "The arm get collision.\n",
       [](F& t) {
         EXPECT_EQ(t.loop().recover(), interpolator_result::kOk);
         t.step();
         EXPECT_EQ(t.loop().motionState(), MotionState::kIdle);
       }},
      {"measured velocity over its limit", nullptr, [](F& t) { t.arm().motors[2]->velocity = 2.5; },
       1, [](F& t) { t.arm().motors[2]->velocity = 0.0; }, cmd_status::kStopped, MotionState::kIdle,
       "The axis 3 planned velocity is", nullptr},
      {"motor write error", nullptr, [](F& t) { t.arm().motors[1]->set_position_error = 7; }, 1,
       [](F& t) { t.arm().motors[1]->set_position_error = 0; }, cmd_status::kStopped,
       MotionState::kIdle, "2 (start from 1) axis setMotorPosition error! error code=<7>",
       [](F&) { EXPECT_EQ(Logger::instance()->statusCode(), error_code::kMotorWrite); }},
      {"motor reads failing", nullptr, [](F& t) { t.arm().motors[0]->get_position_error = 5; }, 40,
       [](F& t) { t.arm().motors[0]->get_position_error = 0; }, cmd_status::kStopped,
       MotionState::kIdle, "The reads of axis 1 have failed for 0.015 s", nullptr},
      {"shutdown", nullptr, [](F& t) { t.loop().requestShutdown(); }, 200,
       [](F& t) { EXPECT_TRUE(t.loop().shutdownComplete()); }, cmd_status::kStopped,
       MotionState::kIdle, "Shut-down", nullptr},
      {"time limit", cubic, [](F&) {}, 1, nullptr, cmd_status::kFailed, MotionState::kIdle,
       "time is over 20s or collision!\n", nullptr},
      // Drives off: the setpoint holds; back on, it starts from where the arm sagged to.
      {"drives off", nullptr,
       [](F& t) { t.arm().motors[4]->enabled = false, t.checker().restart(); }, 50,
       [](F& t) {
         t.arm().motors[3]->setPosition(0.2);
         t.arm().motors[4]->enabled = true;
         t.checker().restart();
       },
       cmd_status::kStopped, MotionState::kIdle,
       "enable is OFF, the trajectory can not be executed!\n",
       [](F& t) { EXPECT_NEAR(t.loop().refJointState().positions[3], 0.2, 1e-9); }},
  };
  for (const AbortCase& c : cases) {
    SCOPED_TRACE(c.name);
    lagging();
    first = nullptr;
    if (c.setup) c.setup(*this);
    Move* a = first != nullptr ? first : move({1.0, 1.0, 1.0, 1.0, 1.0});
    Move* b = move({0.5, 0.5, 0.5, 0.5, 0.5});
    std::string out = step(60);
    c.inject(*this);
    out += step(c.periods);
    if (c.clear) c.clear(*this);
    stepUntil([&] { return ended(a); }, 6000, &out);
    out += step(10);
    EXPECT_EQ(a->cmd_status.load(), c.status);
    EXPECT_EQ(b->cmd_status.load(), cmd_status::kStopped);
    EXPECT_EQ(count(out, "block ...\n"), 1) << "held lines are printed once";
    EXPECT_EQ(c.line ? count(out, c.line) : 1, 1) << out;
    // A move held after its stop never reached its goal: the next starts at the setpoint.
    EXPECT_EQ(interpolator_->getMotionStartPoint(), interpolator_->setpointGuard().positions());
    a->is_block = b->is_block = false;
    step(100);
    EXPECT_EQ(interpolator_->motionState(), c.after);
    EXPECT_EQ(CommandCounter::live, 0);
    if (c.end) c.end(*this);
    EXPECT_EQ(checker_->violations(), 0u) << checker_->firstViolation();
  }
}

// From a commanded 0.5 rad/s at emergency_stop_acc 2 rad/s²: 50 periods, whatever the (stiff)
// drive reports; a recover meanwhile is refused; the stop then holds until a recover.
TEST_F(InterpolatorSafety, StopDeceleratesFromTheCommandedVelocity) {
  lagging(0.0);
  interpolator_->addCmd(makeMove({1.0, 1.0, 1.0, 1.0, 1.0}, 0.25));
  step(110);
  ASSERT_NEAR(interpolator_->refJointState().velocities[0], 0.5, 1e-9);
  interpolator_->requestStop();
  EXPECT_EQ(interpolator_->stopFlag(), 1);
  EXPECT_EQ(interpolator_->recover(), interpolator_result::kNotAtRest);  // not yet begun
  EXPECT_NE(step().find("It take 50 periods to stop.\n"), std::string::npos);
  EXPECT_NEAR(interpolator_->stopAcc()[4], -2.0, 1e-9);
  EXPECT_NEAR(interpolator_->refJointState().velocities[4], 0.49, 1e-9);
  step(48);
  EXPECT_EQ(interpolator_->motionState(), MotionState::kStopping);
  EXPECT_EQ(interpolator_->recover(), interpolator_result::kNotAtRest);
  step();
  EXPECT_EQ(interpolator_->refJointState().velocities, std::vector<double>(5, 0.0));
  EXPECT_EQ(interpolator_->stopFlag(), 1);
  EXPECT_EQ(interpolator_->idleFlag(), 1);
  EXPECT_EQ(interpolator_->stopAcc()[0], DBL_MAX);
}

// A stop at rest holds the loop: the next command ends stopped, without reaching the device,
// until a recover.
TEST_F(InterpolatorSafety, StopAtRestStopsTheNextCommand) {
  step();
  interpolator_->requestStop();
  step(5);
  EXPECT_EQ(interpolator_->motionState(), MotionState::kHolding);
  EXPECT_EQ(interpolator_->stopFlag(), 1);
  auto* cmd = makeIo(1, 3, true);
  interpolator_->addCmd(cmd);
  step();
  EXPECT_EQ(cmd->cmd_status.load(), cmd_status::kStopped);
  EXPECT_EQ(arm_.io_device->set_cmd_calls, 0);
  cmd->is_block = false;
  step();
  EXPECT_EQ(CommandCounter::live, 0);
  EXPECT_EQ(interpolator_->motionState(), MotionState::kHolding);
  EXPECT_EQ(interpolator_->recover(), interpolator_result::kOk);
  step();
  EXPECT_EQ(interpolator_->motionState(), MotionState::kIdle);
  EXPECT_EQ(interpolator_->stopFlag(), 0);
}

// A withdrawn queued move: the one behind it, planned from its goal, is re-planned from where the
// arm is, and its last sample is its goal exactly.
TEST_F(InterpolatorSafety, MoveBehindAWithdrawnOneIsReplanned) {
  move({1.0, 1.0, 1.0, 1.0, 1.0}, false);
  Move* b = move({-1.0, 1.0, 0.5, 1.0, 1.0}, false);
  Move* c = move({-0.5, 0.2, 0.5, 1.0, 0.7});
  step(20);
  ASSERT_TRUE(interpolator_->withdrawCmd(b));
  delete b;
  std::string out;
  stepUntil([&] { return ended(c); }, 2000, &out);
  EXPECT_EQ(count(out, "The move is re-planned from the commanded position.\n"), 1);
  EXPECT_EQ(c->cmd_status.load(), cmd_status::kSucceeded);
  EXPECT_EQ(arm_.motors[0]->last_command, -0.5);
  EXPECT_EQ(arm_.motors[4]->last_command, 0.7);
  c->is_block = false;
  step();
}

// Drag teaching within max_joint_vel, max_joint_acc and the joint limits, re-seeded after the
// drives were off and after homing.
TEST_F(InterpolatorSafety, DragTeachingKeepsTheLimits) {
  interpolator_->setCollisionEnable(true);
  arm_.collision_detector->admittance = {3.5, DBL_MAX, DBL_MAX, DBL_MAX, DBL_MAX};
  step(600);
  EXPECT_EQ(interpolator_->motionState(), MotionState::kDragTeaching);
  EXPECT_LE(interpolator_->refJointState().positions[0], 3.0);
  EXPECT_GT(interpolator_->refJointState().positions[0], 2.9);
  arm_.collision_detector->admittance = {-1.0, 0.5, DBL_MAX, DBL_MAX, DBL_MAX};
  step(20);
  arm_.collision_detector->admittance = std::vector<double>(5, DBL_MAX);
  step(200);
  for (auto& motor : arm_.motors) motor->enabled = false;
  step(2);
  EXPECT_EQ(interpolator_->motionState(), MotionState::kIdle);
  arm_.motors[1]->setPosition(-0.3);  // sags while off
  for (auto& motor : arm_.motors) motor->enabled = true;
  checker_->restart();
  step(5);
  EXPECT_NEAR(arm_.motors[1]->last_command, -0.3, 1e-9);
  auto* home = new Counted<MotorIoCmd>(arm_.robot);
  home->motor_io_type = motor_io_type::kSetHome;
  interpolator_->addCmd(home);
  step();  // homed within this period
  checker_->restart();
  step(5);
  EXPECT_NEAR(arm_.motors[0]->last_command, 0.0, 1e-9);
}

// Exact samples of a 1 s move of 1 rad (vmax 2, acceleration 4: triangular, peak exactly 2) on
// stiff drives; after the success the next command waits 500 ms while the loop goes on.
TEST_F(InterpolatorSafety, MoveFollowsThePlanThenPausesTheQueue) {
  lagging(0.0);
  interpolator_->setCollisionEnable(true);
  interpolator_->setDragTeachingEnable(false);
  auto* move = makeMove({1.0, 1.0, 1.0, 1.0, 1.0});
  auto* next = makeIo(1, 2);
  interpolator_->addCmd(move);
  interpolator_->addCmd(next);
  step();
  EXPECT_DOUBLE_EQ(interpolator_->refJointState().velocities[0], 0.0);
  step(100);  // sampled at t = 0.5, the end of the acceleration
  EXPECT_NEAR(arm_.motors[0]->last_command, 0.5, 1e-9);
  EXPECT_NEAR(interpolator_->lastRefJointState().positions[0], 0.49005, 1e-9);
  EXPECT_NEAR(interpolator_->refJointState().velocities[0], 1.99, 1e-6);  // backward difference
  EXPECT_NEAR(interpolator_->refJointState().accelerations[0], 4.0, 1e-6);
  EXPECT_NEAR(interpolator_->cmdTime(), 0.505, 1e-9);
  std::string out;
  EXPECT_NEAR(101 + stepUntil([&] { return CommandCounter::live == 1; }, 400, &out), 202, 1);
  EXPECT_EQ(count(out, "The trajectory executes success."), 1);
  for (const auto& motor : arm_.motors) EXPECT_NEAR(motor->position(), 1.0, 1e-4);
  EXPECT_EQ(Logger::instance()->statusCode(), error_code::kNoCollision);  // nothing worse
  const int detections = arm_.collision_detector->detect_calls;
  EXPECT_EQ(stepUntil([&] { return next->cmd_status.load() == cmd_status::kExecuting; }, 200), 100);
  EXPECT_EQ(arm_.collision_detector->detect_calls, detections + 100);
  step(2);
}

// An axis that settles outside its threshold of the goal is reported once; the move fails at
// the time limit.
TEST_F(InterpolatorSafety, AxisOutsideItsThresholdFailsAtTheTimeLimit) {
  lagging(0.0);
  arm_.motors[1]->position_offset = 0.02;  // threshold 0.01
  Move* a = move({1.0, 1.0, 1.0, 1.0, 1.0});
  std::string out;
  stepUntil([&] { return ended(a); }, 5000, &out);
  EXPECT_EQ(a->cmd_status.load(), cmd_status::kFailed);
  EXPECT_EQ(count(out, "2 axis pos:"), 1);
  EXPECT_EQ(count(out, "axis pos:"), 1);
  EXPECT_EQ(count(out, "time is over 20s or collision!\n"), 1);
  a->is_block = false;
  step();
}

// Commands without a usable path never reach the motors.
TEST_F(InterpolatorSafety, CommandsWithoutAPathFail) {
  const std::vector<std::function<AbstractCmdInterface*(std::shared_ptr<Robot>)>> cases = {
      [](std::shared_ptr<Robot> robot) -> AbstractCmdInterface* {  // planners never planned
        auto* move = new Move(robot);
        TrapezoidPlannerInput in;
        in.q1 = 1.0;
        for (int i = 0; i < 5; ++i) {
          move->traj_interface_ptrs_.push_back(std::make_unique<TrapezoidPlanner>());
          move->traj_interface_ptrs_.back()->setInput(&in);
        }
        return move;
      },
      [](std::shared_ptr<Robot> robot) -> AbstractCmdInterface* { return new Move(robot); },
      [](std::shared_ptr<Robot> robot) -> AbstractCmdInterface* {
        return new Counted<AbstractCmdInterface>(cmd_type::kCartesianTrajectory, robot);
      }};
  for (const auto& make : cases) {
    lagging(0.0);
    AbstractCmdInterface* cmd = make(arm_.robot);
    cmd->is_block = true;
    interpolator_->addCmd(cmd);
    EXPECT_NE(step().find("calAllJointsPostion return error!\n"), std::string::npos);
    EXPECT_EQ(cmd->cmd_status.load(), cmd_status::kFailed);
    for (const auto& motor : arm_.motors) EXPECT_EQ(motor->set_position_calls, 1);  // the seed
    cmd->is_block = false;
    step();
    EXPECT_EQ(CommandCounter::live, 0);
  }
}

class InterpolatorDragTest : public testing::InterpolatorTest {
 protected:
  void SetUp() override {
    // Joint 2 is the sum of motors 1 and 2.
    MotionTestArmOptions options;
    options.axis_num = 2;
    options.motor2joint = (Eigen::MatrixXd(2, 2) << 1.0, 0.0, 1.0, 1.0).finished();
    build(options);
    arm_.motors[0]->setPosition(0.4);
    arm_.motors[1]->setPosition(0.2);
    interpolator_->setCollisionEnable(true);
  }
};

// Joints marked DBL_MAX keep their reference: through the coupling, DBL_MAX - DBL_MAX would
// command motor 2 to 0.
TEST_F(InterpolatorDragTest, MarkedJointsKeepTheirReferenceThroughCoupling) {
  step();
  EXPECT_DOUBLE_EQ(interpolator_->actualJointState().positions[1], 0.6);
  EXPECT_EQ(arm_.collision_detector->admittance_calls, 1);
  EXPECT_DOUBLE_EQ(arm_.motors[0]->last_command, 0.4);
  EXPECT_DOUBLE_EQ(arm_.motors[1]->last_command, 0.2);
  arm_.collision_detector->admittance = {0.5, DBL_MAX};
  step(200);
  EXPECT_NEAR(interpolator_->refJointState().positions[0], 0.5, 1e-9);
  EXPECT_DOUBLE_EQ(interpolator_->refJointState().positions[1], 0.6);
  EXPECT_NEAR(arm_.motors[1]->last_command, 0.1, 1e-9);
}

TEST_F(InterpolatorDragTest, NeedsAllThreeSwitches) {
  arm_.collision_detector->admittance = {0.5, 0.5};
  interpolator_->setDragTeachingEnable(false);
  step();
  interpolator_->setDragTeachingEnable(true);
  interpolator_->setCollisionEnable(false);
  step();
  interpolator_->setCollisionEnable(true);
  arm_.motors[1]->enabled = false;
  step();
  EXPECT_EQ(arm_.collision_detector->admittance_calls, 0);
  arm_.motors[1]->enabled = true;
  step();
  EXPECT_EQ(arm_.collision_detector->admittance_calls, 1);
  // The holds at start-up and when the drives came back, then one drag teaching step.
  EXPECT_EQ(arm_.motors[0]->set_position_calls, 3);
}

}  // namespace
}  // namespace brenvik
