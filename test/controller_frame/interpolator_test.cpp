#include "controller_frame/interpolator.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "controller_frame/steady_loop_clock.h"
#include "support/interpolator_test_fixture.h"
#include "support/recording_status_publisher.h"

namespace brenvik {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using testing::CommandCounter;
using testing::InterpolatorTest;
using testing::ScriptedMotor;
using V = std::vector<double>;

TEST(InterpolatorConstruction, RefusesRobotWithoutModelOrMotor) {
  const std::vector<std::pair<std::function<void(Robot&)>, const char*>> cases = {
      {[](Robot& r) { r.kinematics_.reset(); }, "kinematics_"},
      {[](Robot& r) { r.dynamics_.reset(); }, "dynamics_"},
      {[](Robot& r) { r.collision_detector_.reset(); }, "collision_detector_"},
      {[](Robot& r) { r.robot_para_.axis_paras[2].motor.reset(); }, "motor of axis 3"},
      {[](Robot& r) { r.robot_para_.axis_num = 4; }, "axis_paras"}};
  for (const auto& [clear, message] : cases) {
    auto arm = testing::makeMotionTestArm();
    clear(*arm.robot);
    try {
      Interpolator interpolator(arm.robot);
      ADD_FAILURE() << "no exception for " << message;
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(Interpolator(nullptr), std::invalid_argument);
}

TEST_F(InterpolatorTest, ReadsTheMeasuredState) {
  EXPECT_EQ(interpolator_->stopAcc(), V(5, DBL_MAX));
  EXPECT_DOUBLE_EQ(interpolator_->longestStopTime(), 1.005);  // max v / stop acc, plus a period
  arm_.motors[0]->setPosition(0.3);
  arm_.motors[1]->velocity = 0.2;
  arm_.motors[2]->torque = 1.5;
  step();
  const JointStateRecord& actual = interpolator_->actualJointState();
  EXPECT_EQ(actual.positions, (V{0.3, 0, 0, 0, 0}));
  EXPECT_EQ(actual.velocities, (V{0, 0.2, 0, 0, 0}));
  EXPECT_DOUBLE_EQ(actual.accelerations[1], 0.2 / 0.005);
  EXPECT_EQ(actual.efforts, (V{0, 0, 1.5, 0, 0}));
  EXPECT_EQ(interpolator_->tcpPose(), arm_.robot->kinematics_->forwardKinematics(actual.positions));
  EXPECT_EQ(interpolator_->refJointState().positions, actual.positions);  // seeded where it is
  EXPECT_EQ(interpolator_->getActualJointPositions(), actual.positions);
  EXPECT_FALSE(interpolator_->unnormalFlag());
  step();
  EXPECT_DOUBLE_EQ(interpolator_->actualJointState().accelerations[1], 0.0);
  LOG_STATUS(RobotStatus::ERROR, error_code::kCommandRejected, "test error\n");
  step();
  EXPECT_TRUE(interpolator_->unnormalFlag());
  EXPECT_TRUE(interpolator_->enableFlag());
  arm_.motors[3]->enabled = false;
  step();
  EXPECT_FALSE(interpolator_->enableFlag());
  // A drive that cannot answer: reported once, the axes after it not asked.
  arm_.motors[3]->enabled = true;
  arm_.motors[1]->get_enable_error = 9;
  const int calls = arm_.motors[2]->get_enable_calls;
  EXPECT_EQ(count(step(3), "The <2> axis return error_code=<9> when getEnableStatus.\n"), 1);
  EXPECT_FALSE(interpolator_->enableFlag());
  EXPECT_EQ(arm_.motors[2]->get_enable_calls, calls);
}

// A read of axis 2 failing (or not finite) for kReadFailurePeriods periods: FATAL once, the queue
// dropped, the loop in kFault until the reads succeed again.
TEST_F(InterpolatorTest, FailingReadsEnterFaultUntilTheyRecover) {
  const std::vector<std::pair<std::function<void(ScriptedMotor&)>, const char*>> cases = {
      {[](ScriptedMotor& m) { m.get_position_error = 5; },
       "2 (start from 1) axis getMotorPosition error! error code=<5>\n"},
      {[](ScriptedMotor& m) { m.torque = NAN; },
       "2 (start from 1) axis getTorque returned a value that is not finite\n"}};
  for (const auto& [inject, message] : cases) {
    build({});
    interpolator_->addCmd(makeIo(1, 3));
    inject(*arm_.motors[1]);
    std::string out = step(Interpolator::kReadFailurePeriods - 1);
    EXPECT_EQ(interpolator_->motionState(), MotionState::kIdle);
    out += step(3);
    EXPECT_EQ(count(out, message), 1) << out;
    EXPECT_EQ(count(out, "peroid update status error!"), 1);
    EXPECT_EQ(Logger::instance()->statusCode(), error_code::kPeriodUpdate);
    EXPECT_EQ(interpolator_->motionState(), MotionState::kFault);
    EXPECT_TRUE(interpolator_->isCmdQueueEmpty());
    EXPECT_EQ(arm_.dynamics->calls, 0);
    arm_.motors[1]->get_position_error = 0;
    arm_.motors[1]->torque = 0.0;
    step();
    EXPECT_EQ(interpolator_->motionState(), MotionState::kIdle);
  }
}

TEST_F(InterpolatorTest, StatusTopicsCreatedAndPublishedInIdOrder) {
  auto publisher = std::make_shared<testing::RecordingStatusPublisher>();
  interpolator_->addStatusTopic(1, "before the publisher");  // stored, nothing created
  interpolator_->setStatusPublisher(publisher);
  for (int id = 15; id >= 0; --id) interpolator_->addStatusTopic(id, "t" + std::to_string(id));
  step();
  std::string created, published;
  for (const auto& c : publisher->creates) created += c.kind[0];
  for (const auto& p : publisher->publishes) published += p.kind[0];
  EXPECT_EQ(created, "bapbbaajjjjjjjj");  // id 14 down to 0; 15 is no topic
  EXPECT_EQ(published, "jjjjjjjjaabbpab");
  EXPECT_EQ(publisher->publishes[0].topic, "t0");
}

// Arrival order, withdrawal of a waiting command (never the current one), a blocking command held
// for its issuer, the start point of a new move, and commands still queued deleted with the loop.
TEST_F(InterpolatorTest, QueueStory) {
  auto* a = makeIo(1, 5, true);
  auto* b = makeIo(1, 6);
  auto* c = makeIo(1, 7);
  interpolator_->addCmd(nullptr);
  for (auto* cmd : {a, b, c}) interpolator_->addCmd(cmd);
  EXPECT_EQ(interpolator_->getLastCmd(), c);
  EXPECT_NE(step().find("interpolator read new command.\n"), std::string::npos);
  EXPECT_EQ(interpolator_->idleFlag(), 0);
  EXPECT_FALSE(interpolator_->withdrawCmd(a));
  EXPECT_FALSE(interpolator_->withdrawCmd(nullptr));
  EXPECT_TRUE(interpolator_->withdrawCmd(c));
  EXPECT_EQ(c->cmd_status.load(), cmd_status::kStopped);
  EXPECT_FALSE(interpolator_->withdrawCmd(c));
  EXPECT_EQ(interpolator_->getLastCmd(), b);
  delete c;  // the caller's again
  const std::string out = step(4);
  EXPECT_EQ(count(out, "block ...\n"), 1);
  EXPECT_EQ(a->cmd_status.load(), cmd_status::kSucceeded);
  EXPECT_EQ(b->cmd_status.load(), cmd_status::kQueued);
  a->is_block = false;  // the issuer lets go
  EXPECT_NE(step().find("delete block cmd\n"), std::string::npos);
  EXPECT_EQ(CommandCounter::live, 1);
  EXPECT_EQ(interpolator_->idleFlag(), 1);
  step(2);
  EXPECT_EQ(arm_.io_device->commanded, 6);
  EXPECT_EQ(interpolator_->getLastCmd(), nullptr);
  // The start point is the goal of the newest move in the queue, even behind another command.
  interpolator_->addCmd(makeMove({0.5, 0.1, 0.1, 0.2, 0.3}));
  interpolator_->addCmd(makeIo(7, 1));  // no device 7: still under way at the end
  EXPECT_EQ(interpolator_->getMotionStartPoint(), (V{0.5, 0.1, 0.1, 0.2, 0.3}));
  step(10);
  EXPECT_EQ(interpolator_->getMotionStartPoint(), (V{0.5, 0.1, 0.1, 0.2, 0.3}));
  step(400);
  EXPECT_EQ(CommandCounter::live, 1);  // deleted with the loop (TearDown)
}

TEST_F(InterpolatorTest, CollisionAndSensitivityHandledOnTheControlThread) {
  arm_.collision_detector->collision = 1;
  step(3);
  EXPECT_EQ(arm_.collision_detector->detect_calls, 0);
  interpolator_->setCollisionEnable(true);
  step();
  EXPECT_TRUE(interpolator_->isCollision());
  EXPECT_EQ(interpolator_->collisionData()[2], 7.0);
  interpolator_->setCollisionEnable(false);
  step();
  EXPECT_FALSE(interpolator_->isCollision());
  EXPECT_EQ(interpolator_->setCollisionSensitivity({}), interpolator_result::kEmptyCommand);
  EXPECT_EQ(interpolator_->setCollisionSensitivity({4, 0, 1, 2, 3, 1.5, 9}),
            interpolator_result::kOk);
  EXPECT_TRUE(arm_.collision_detector->sensitivity.empty());  // not on this thread
  step(2);
  EXPECT_EQ(interpolator_->setCollisionSensitivity({1, 0}), interpolator_result::kOk);
  EXPECT_EQ(interpolator_->setCollisionSensitivity({0}), interpolator_result::kOk);  // the newer
  step();
  EXPECT_EQ(arm_.collision_detector->sensitivity,
            (std::vector<V>{{4, 0, 1, 2, 3, 1.5}, {0}}));
}

// run() on the fake clock: each period's work starts with the first motor read, which records
// its time and spends the scripted work time.
TEST_F(InterpolatorTest, RunKeepsAbsoluteDeadlinesAndCountsOverruns) {
  struct Case {
    int periods, work_us, slow, slow_us;      // the work of each period, of period `slow`
    std::vector<std::pair<int, int>> starts;  // period, start (ms)
  };
  for (const Case& c : {Case{1000, 3400, -1, 0, {}},
                        Case{20, 1000, 10, 7000, {{10, 50}, {11, 57}, {12, 60}, {19, 95}}},
                        Case{10, 500, 3, 23000, {{4, 38}, {5, 40}, {6, 45}}}}) {
    build({});
    const nanoseconds start = clock_->now();
    std::vector<nanoseconds> starts;
    arm_.motors[0]->on_position_read = [&] {
      starts.push_back(clock_->now());
      const bool slow = static_cast<int>(starts.size()) == c.slow + 1;
      clock_->advance(microseconds(slow ? c.slow_us : c.work_us));
    };
    clock_->on_sleep = [&] {
      if (static_cast<int>(starts.size()) >= c.periods) interpolator_->requestExit();
    };
    ::testing::internal::CaptureStdout();
    interpolator_->run();
    const std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(starts.size(), static_cast<size_t>(c.periods));
    EXPECT_EQ(interpolator_->overrunCount(), c.slow < 0 ? 0u : 1u);
    EXPECT_EQ(count(out, "Control period overrun"), c.slow < 0 ? 0 : 1);
    EXPECT_TRUE(c.slow != 10 || count(out, "2.000 ms after its deadline (1 so far)") == 1) << out;
    for (const auto& [k, ms] : c.starts) EXPECT_EQ(starts[k], start + milliseconds(ms)) << k;
    for (size_t k = 0; c.starts.empty() && k < starts.size(); ++k) {
      ASSERT_EQ(starts[k], start + k * milliseconds(5)) << k;
      ASSERT_EQ(clock_->deadlines[k], start + (k + 1) * milliseconds(5)) << k;
    }
  }
  EXPECT_NEAR(interpolator_->currentTime(), 0.060, 1e-9);  // since the loop started
  build({});
  interpolator_->requestExit();
  interpolator_->run();
  EXPECT_EQ(arm_.dynamics->calls, 0);
}

TEST(SteadyLoopClock, SleepsUntilAbsoluteDeadline) {
  SteadyLoopClock clock;
  const nanoseconds before = clock.now();
  clock.sleepUntil(before + milliseconds(2));
  EXPECT_GE(clock.now(), before + milliseconds(2));
  clock.sleepUntil(before);  // a passed deadline returns at once
  EXPECT_LT(clock.now() - before, std::chrono::seconds(1));
}

}  // namespace
}  // namespace brenvik
