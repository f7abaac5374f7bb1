#include "controller_frame/interpolator.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/logger.h"
#include "support/interpolator_test_fixture.h"

namespace brenvik {
namespace {

using testing::CommandCounter;
using testing::Counted;
using testing::InterpolatorTest;
using testing::makeMotionTestArm;
using testing::MotionTestArmOptions;
using testing::RecordingStatusPublisher;

// ---- Construction ----

struct NullModelCase {
  const char* name;
  void (*clear)(Robot&);
  const char* message;
};

class InterpolatorConstruction : public ::testing::TestWithParam<NullModelCase> {};

TEST_P(InterpolatorConstruction, RefusesRobotWithoutModel) {
  auto arm = makeMotionTestArm();
  GetParam().clear(*arm.robot);
  try {
    Interpolator interpolator(arm.robot);
    FAIL() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Models, InterpolatorConstruction,
    ::testing::Values(
        NullModelCase{"kinematics", [](Robot& r) { r.kinematics_.reset(); }, "kinematics_"},
        NullModelCase{"dynamics", [](Robot& r) { r.dynamics_.reset(); }, "dynamics_"},
        NullModelCase{"collision", [](Robot& r) { r.collision_detector_.reset(); },
                      "collision_detector_"},
        NullModelCase{"motor", [](Robot& r) { r.robot_para_.axis_paras[2].motor.reset(); },
                      "motor of axis 3"}),
    [](const ::testing::TestParamInfo<NullModelCase>& param_info) {
      return param_info.param.name;
    });

TEST(InterpolatorConstructionNull, RefusesNullRobot) {
  EXPECT_THROW(Interpolator(nullptr), std::invalid_argument);
}

TEST_F(InterpolatorTest, ConstructionStateAndMessage) {
  EXPECT_NE(construction_output_.find("Creat objective interpolator.\n"), std::string::npos);
  EXPECT_EQ(interpolator_->idleFlag(), 1);
  EXPECT_EQ(interpolator_->stopFlag(), 0);
  EXPECT_TRUE(interpolator_->dragTeachingEnable());
  EXPECT_FALSE(interpolator_->collisionEnable());
  EXPECT_EQ(interpolator_->actualJointState().positions.size(), 5u);
  EXPECT_EQ(interpolator_->refMotorState().efforts.size(), 5u);
  for (double acc : interpolator_->stopAcc()) {
    EXPECT_EQ(acc, DBL_MAX);
  }
  EXPECT_TRUE(interpolator_->isCmdQueueEmpty());
  EXPECT_EQ(interpolator_->getLastCmd(), nullptr);
}

// ---- Measured state and status ----

TEST_F(InterpolatorTest, ReadsMotorsIntoJointState) {
  arm_.motors[0]->setPosition(0.3);
  arm_.motors[1]->velocity = 0.2;
  arm_.motors[2]->torque = 1.5;
  step();
  const JointStateRecord& actual = interpolator_->actualJointState();
  EXPECT_DOUBLE_EQ(actual.positions[0], 0.3);
  EXPECT_DOUBLE_EQ(actual.velocities[1], 0.2);
  EXPECT_DOUBLE_EQ(actual.accelerations[1], 0.2 / 0.005);
  EXPECT_DOUBLE_EQ(actual.efforts[2], 1.5);
  EXPECT_DOUBLE_EQ(interpolator_->lastJointState().efforts[2], 0.0);  // previous period's
  EXPECT_DOUBLE_EQ(interpolator_->tcpPose()(0, 3), 0.3);
  EXPECT_TRUE(interpolator_->enableFlag());
  // The reference starts where the arm is.
  EXPECT_DOUBLE_EQ(interpolator_->refJointState().positions[0], 0.3);
  EXPECT_EQ(arm_.dynamics->calls, 1);
  step();
  EXPECT_DOUBLE_EQ(interpolator_->actualJointState().accelerations[1], 0.0);
}

TEST_F(InterpolatorTest, DisabledDriveClearsEnableFlag) {
  arm_.motors[3]->enabled = false;
  step();
  EXPECT_FALSE(interpolator_->enableFlag());
  arm_.motors[3]->enabled = true;
  arm_.motors[1]->get_enable_error = 9;
  const std::string out = step(3);
  EXPECT_EQ(count(out, "The <2> axis return error_code=<9> when getEnableStatus.\n"), 1);
  EXPECT_FALSE(interpolator_->enableFlag());
  EXPECT_EQ(arm_.motors[2]->get_enable_calls, 1);  // polling ended at axis 2
}

// A failing or non-finite reading of axis 2: FATAL once it has lasted kReadFailurePeriods periods,
// and nothing else happens in such a period.
struct ReadFailureCase {
  const char* name;
  void (*inject)(testing::ScriptedMotor&);
  const char* message;
};

class InterpolatorReadFailure : public InterpolatorTest,
                                public ::testing::WithParamInterface<ReadFailureCase> {};

TEST_P(InterpolatorReadFailure, PeriodEndsFatal) {
  interpolator_->addCmd(makeIo(1, 3));
  GetParam().inject(*arm_.motors[1]);
  const std::string out = step(Interpolator::kReadFailurePeriods);
  EXPECT_EQ(count(out, GetParam().message), 1) << out;
  EXPECT_NE(out.find("peroid update status error!"), std::string::npos);
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::FATAL);
  EXPECT_EQ(Logger::instance()->statusCode(), error_code::kPeriodUpdate);
  EXPECT_EQ(interpolator_->idleFlag(), 1);  // the command was not even taken
  EXPECT_EQ(arm_.dynamics->calls, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, InterpolatorReadFailure,
    ::testing::Values(
        ReadFailureCase{"position", [](testing::ScriptedMotor& m) { m.get_position_error = 5; },
                        "2 (start from 1) axis getMotorPosition error! error code=<5>\n"},
        ReadFailureCase{"velocity", [](testing::ScriptedMotor& m) { m.get_velocity_error = 5; },
                        "2 (start from 1) axis getVelocity error! error code=<5>\n"},
        ReadFailureCase{"torque", [](testing::ScriptedMotor& m) { m.get_torque_error = 5; },
                        "2 (start from 1) axis getTorque error! error code=<5>\n"},
        ReadFailureCase{"not_finite", [](testing::ScriptedMotor& m) { m.torque = NAN; },
                        "2 (start from 1) axis getTorque returned a value that is not finite\n"}),
    [](const ::testing::TestParamInfo<ReadFailureCase>& param_info) {
      return param_info.param.name;
    });

TEST_F(InterpolatorTest, StatusTopicsCreatedAndPublishedInIdOrder) {
  auto publisher = std::make_shared<RecordingStatusPublisher>();
  interpolator_->setStatusPublisher(publisher);
  for (int id : {0, 2, 11, 8, 10, 12, 13, 14, 99}) {
    interpolator_->addStatusTopic(id, "topic" + std::to_string(id));
  }
  ASSERT_EQ(publisher->creates.size(), 8u);
  EXPECT_EQ(publisher->creates[0].kind, "joint_state");
  EXPECT_EQ(publisher->creates[0].source, &interpolator_->actualJointState());
  EXPECT_EQ(publisher->creates[1].source, &interpolator_->refJointState());
  EXPECT_EQ(publisher->creates[2].kind, "bool");
  EXPECT_EQ(publisher->creates[3].kind, "array");
  EXPECT_EQ(publisher->creates[5].kind, "pose");
  EXPECT_EQ(publisher->creates[5].source, &interpolator_->tcpPose());
  // Replacing a name creates again.
  interpolator_->addStatusTopic(0, "renamed");
  EXPECT_EQ(publisher->creates.back().topic, "renamed");

  arm_.motors[0]->setPosition(0.7);
  step();
  ASSERT_EQ(publisher->publishes.size(), 8u);
  const std::vector<std::string> order = {"renamed", "topic2",  "topic8",  "topic10",
                                          "topic11", "topic12", "topic13", "topic14"};
  for (size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(publisher->publishes[i].topic, order[i]);
  }
  EXPECT_DOUBLE_EQ(publisher->last_pose(0, 3), 0.7);
  step();
  EXPECT_EQ(publisher->publishes.size(), 16u);
}

TEST_F(InterpolatorTest, UnnormalFlagFollowsStatus) {
  step();
  EXPECT_FALSE(interpolator_->unnormalFlag());
  LOG_STATUS(RobotStatus::ERROR, error_code::kCommandRejected, "test error\n");
  step();
  EXPECT_TRUE(interpolator_->unnormalFlag());
}

// ---- Queue ----

TEST_F(InterpolatorTest, CommandsRunInArrivalOrder) {
  arm_.io_device->reads_to_reach = 1;
  auto* first = makeIo(1, 5);
  auto* second = makeIo(1, 6);
  interpolator_->addCmd(first);
  interpolator_->addCmd(second);
  EXPECT_FALSE(interpolator_->isCmdQueueEmpty());
  EXPECT_EQ(interpolator_->getLastCmd(), second);
  std::string out = step();
  EXPECT_NE(out.find("interpolator read new command.\n"), std::string::npos);
  EXPECT_EQ(first->cmd_status.load(), cmd_status::kExecuting);
  EXPECT_EQ(second->cmd_status.load(), cmd_status::kQueued);
  out = step();  // the first ends here
  EXPECT_NE(out.find("Ctrl io command Finish.\n"), std::string::npos);
  EXPECT_EQ(second->cmd_status.load(), cmd_status::kQueued);
  EXPECT_EQ(interpolator_->idleFlag(), 1);
  step();  // the second starts in the next period
  EXPECT_EQ(second->cmd_status.load(), cmd_status::kExecuting);
  EXPECT_EQ(arm_.io_device->commanded, 6);
  step();
  EXPECT_TRUE(interpolator_->isCmdQueueEmpty());
}

TEST_F(InterpolatorTest, WaitingCommandCanBeWithdrawnButNotTheCurrentOne) {
  auto* first = makeIo(1, 5);
  auto* second = makeIo(1, 6);
  interpolator_->addCmd(first);
  interpolator_->addCmd(second);
  step();
  EXPECT_FALSE(interpolator_->withdrawCmd(first));
  EXPECT_TRUE(interpolator_->withdrawCmd(second));
  EXPECT_EQ(second->cmd_status.load(), cmd_status::kStopped);
  EXPECT_FALSE(interpolator_->withdrawCmd(second));
  EXPECT_EQ(interpolator_->getLastCmd(), first);
  // The withdrawn command is the caller's again.
  delete second;
  stepUntil([&] { return interpolator_->isCmdQueueEmpty(); }, 2000);
  EXPECT_EQ(arm_.io_device->commanded, 5);
}

TEST_F(InterpolatorTest, BlockingCommandWaitsForIssuer) {
  auto* blocking = makeIo<Counted<SetIoCmd>>(1, 4);
  blocking->is_block = true;
  auto* next = makeIo(1, 8);
  interpolator_->addCmd(blocking);
  interpolator_->addCmd(next);
  std::string out = step(2);
  EXPECT_EQ(blocking->cmd_status.load(), cmd_status::kSucceeded);
  out = step(3);
  EXPECT_EQ(count(out, "block ...\n"), 0);  // printed once, when the outcome came
  EXPECT_EQ(next->cmd_status.load(), cmd_status::kQueued);
  EXPECT_EQ(CommandCounter::live, 1);
  blocking->is_block = false;  // the issuer lets go
  out = step();
  EXPECT_NE(out.find("delete block cmd\n"), std::string::npos);
  EXPECT_EQ(CommandCounter::live, 0);
  step();
  EXPECT_EQ(next->cmd_status.load(), cmd_status::kExecuting);
}

TEST_F(InterpolatorTest, DestructionDeletesQueuedCommands) {
  interpolator_->addCmd(makeIo<Counted<SetIoCmd>>(7, 1));
  interpolator_->addCmd(makeIo<Counted<SetIoCmd>>(7, 2));
  step();
  EXPECT_EQ(CommandCounter::live, 2);
  interpolator_.reset();
  EXPECT_EQ(CommandCounter::live, 0);
}

// ---- Start point ----

// The measured position with an empty queue, else the goal of the newest move in the queue.
TEST_F(InterpolatorTest, StartPointIsGoalOfNewestMoveEvenBehindGripperCommand) {
  arm_.motors[2]->setPosition(-0.4);
  step();
  std::vector<double> start = interpolator_->getMotionStartPoint();
  ASSERT_EQ(start.size(), 5u);
  EXPECT_DOUBLE_EQ(start[2], -0.4);
  EXPECT_EQ(interpolator_->getActualJointPositions(), start);
  interpolator_->addCmd(makeMove({0.5, 0.1, 0.1, 0.2, 0.3}));
  interpolator_->addCmd(makeIo(1, 2));
  start = interpolator_->getMotionStartPoint();
  EXPECT_DOUBLE_EQ(start[0], 0.5);
  EXPECT_DOUBLE_EQ(start[4], 0.3);
  // The second move plans from the first one's goal.
  interpolator_->addCmd(makeMove({1.0, 0.2, 0.2, 0.3, 0.4}));
  start = interpolator_->getMotionStartPoint();
  EXPECT_DOUBLE_EQ(start[0], 1.0);
  step(10);  // the arm moves; the start point stays the newest goal
  EXPECT_DOUBLE_EQ(interpolator_->getMotionStartPoint()[4], 0.4);
}

// ---- Stop ----

// A one-axis arm cruising at exactly 0.5 rad/s: a trapezoid that starts at its cruise velocity.
class InterpolatorStopTest : public InterpolatorTest {
 protected:
  void SetUp() override {
    InterpolatorTest::SetUp();
    MotionTestArmOptions options;
    options.axis_num = 1;
    options.emergency_stop_acc = 2.0;
    build(options);
  }
  AllAxisesJointPlanCmd* cruisingMove() {
    auto* cmd = new Counted<AllAxisesJointPlanCmd>(arm_.robot);
    TrapezoidPlannerInput in;
    in.q1 = 1.0;
    in.vmax = 0.5;
    in.aa = 1.0;
    in.ad = -1.0;
    auto planner = std::make_unique<TrapezoidPlanner>();
    planner->setInput(&in);
    cmd->traj_interface_ptrs_.push_back(std::move(planner));
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(cmd->planAllJoints(), 0);
    ::testing::internal::GetCapturedStdout();
    return cmd;
  }
};

// The stop decelerates from the commanded 0.5 rad/s at emergency_stop_acc (2 rad/s²): 50 periods,
// whatever the (stiff, here) drive reports.
TEST_F(InterpolatorStopTest, StopDeceleratesFromTheCommandedVelocity) {
  interpolator_->addCmd(cruisingMove());
  step(110);
  ASSERT_NEAR(interpolator_->refJointState().velocities[0], 0.5, 1e-9);
  interpolator_->requestStop();
  EXPECT_EQ(interpolator_->stopFlag(), 1);
  std::string out = step();
  EXPECT_NE(out.find("It take 50 periods to stop.\n"), std::string::npos) << out;
  EXPECT_NEAR(interpolator_->stopAcc()[0], -2.0, 1e-9);
  EXPECT_NEAR(interpolator_->refJointState().velocities[0], 0.49, 1e-9);
  EXPECT_EQ(interpolator_->motionState(), MotionState::kStopping);
  step(48);
  EXPECT_EQ(interpolator_->motionState(), MotionState::kStopping);
  EXPECT_EQ(interpolator_->recover(), interpolator_result::kNotAtRest);
  step();
  EXPECT_EQ(interpolator_->refJointState().velocities[0], 0.0);
  EXPECT_EQ(interpolator_->stopFlag(), 1);  // the stop holds until a recover
  EXPECT_EQ(interpolator_->idleFlag(), 1);
  EXPECT_EQ(CommandCounter::live, 0);
  EXPECT_EQ(interpolator_->stopAcc()[0], DBL_MAX);
}

TEST_F(InterpolatorStopTest, StopWhileIdleStopsNextCommand) {
  step();
  interpolator_->requestStop();
  step(5);
  EXPECT_EQ(interpolator_->motionState(), MotionState::kHolding);
  auto* cmd = makeIo<Counted<SetIoCmd>>(1, 3);
  cmd->is_block = true;
  interpolator_->addCmd(cmd);
  step();
  EXPECT_EQ(cmd->cmd_status.load(), cmd_status::kStopped);
  EXPECT_EQ(interpolator_->motionState(), MotionState::kHolding);
  EXPECT_EQ(arm_.io_device->set_cmd_calls, 0);
  cmd->is_block = false;
  step();
  EXPECT_EQ(CommandCounter::live, 0);
  // Only a recover ends the hold.
  EXPECT_EQ(interpolator_->recover(), interpolator_result::kOk);
  step();
  EXPECT_EQ(interpolator_->motionState(), MotionState::kIdle);
}

// ---- Drag teaching ----

class InterpolatorDragTest : public InterpolatorTest {
 protected:
  void SetUp() override {
    InterpolatorTest::SetUp();
    // Joint 2 is the sum of motors 1 and 2: joint to motor is [[1, 0], [-1, 1]].
    MotionTestArmOptions options;
    options.axis_num = 2;
    options.motor2joint = (Eigen::MatrixXd(2, 2) << 1.0, 0.0, 1.0, 1.0).finished();
    build(options);
    arm_.motors[0]->setPosition(0.4);
    arm_.motors[1]->setPosition(0.2);
    interpolator_->setCollisionEnable(true);
  }
};

TEST_F(InterpolatorDragTest, MarkedJointsKeepTheirReferenceThroughCoupling) {
  step();
  EXPECT_DOUBLE_EQ(interpolator_->actualJointState().positions[1], 0.6);
  EXPECT_EQ(arm_.collision_detector->admittance_calls, 1);
  // Both joints marked: passed through the coupling, DBL_MAX - DBL_MAX would command motor 2
  // to 0. They keep the present reference instead.
  EXPECT_DOUBLE_EQ(arm_.motors[0]->last_command, 0.4);
  EXPECT_DOUBLE_EQ(arm_.motors[1]->last_command, 0.2);
  EXPECT_DOUBLE_EQ(arm_.motors[1]->position(), 0.2);
  // Joint 1 moves to 0.5 within its limits, joint 2 stays marked.
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
  EXPECT_EQ(arm_.collision_detector->admittance_calls, 0);
  interpolator_->setDragTeachingEnable(true);
  interpolator_->setCollisionEnable(false);
  step();
  EXPECT_EQ(arm_.collision_detector->admittance_calls, 0);
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

// ---- Collisions ----

TEST_F(InterpolatorTest, CollisionSeenOnlyWhileDetectionOnAndLoggedOncePerOnset) {
  arm_.collision_detector->collision = 1;
  step(3);
  EXPECT_EQ(arm_.collision_detector->detect_calls, 0);
  EXPECT_FALSE(interpolator_->isCollision());
  EXPECT_EQ(interpolator_->stopFlag(), 0);
  interpolator_->setCollisionEnable(true);
  EXPECT_EQ(count(step(4), "The arm get collision.\n"), 1);
}

// ---- Collision sensitivity hand-over ----

TEST_F(InterpolatorTest, SensitivityAppliedByControlThreadAtCollisionStep) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(interpolator_->setCollisionSensitivity({}), interpolator_result::kEmptyCommand);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("empty"), std::string::npos);
  EXPECT_EQ(interpolator_->setCollisionSensitivity({4, 0, 1, 2, 3, 1.5, 9, 9}),
            interpolator_result::kOk);
  EXPECT_TRUE(arm_.collision_detector->sensitivity_commands.empty());  // not on this thread
  step();
  ASSERT_EQ(arm_.collision_detector->sensitivity_commands.size(), 1u);
  EXPECT_EQ(arm_.collision_detector->sensitivity_commands[0],
            (std::vector<double>{4, 0, 1, 2, 3, 1.5}));
  step();
  EXPECT_EQ(arm_.collision_detector->sensitivity_commands.size(), 1u);
  // Two commands between periods: the newer one is applied.
  EXPECT_EQ(interpolator_->setCollisionSensitivity({1, 0}), interpolator_result::kOk);
  EXPECT_EQ(interpolator_->setCollisionSensitivity({0}), interpolator_result::kOk);
  step();
  ASSERT_EQ(arm_.collision_detector->sensitivity_commands.size(), 2u);
  EXPECT_EQ(arm_.collision_detector->sensitivity_commands[1], (std::vector<double>{0}));
}

}  // namespace
}  // namespace brenvik
