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
#include "support/setpoint_checker.h"

namespace brenvik {
namespace {

using testing::Counted;
using testing::InterpolatorTest;
using testing::MotionTestArmOptions;
using Move = testing::Counted<AllAxisesJointPlanCmd>;

// Scenarios on an arm whose drives lag their setpoints. After every period the commanded joint
// setpoint must keep the motion rules (SetpointChecker): finite, inside the joint range, within
// max_joint_vel and max(max_joint_acc, emergency_stop_acc).
struct SafetyCase {
  const char* name;
  void (*options)(MotionTestArmOptions&);
  void (*scenario)(class InterpolatorSafety&);
};

class InterpolatorSafety : public InterpolatorTest,
                           public ::testing::WithParamInterface<SafetyCase> {
 public:
  void SetUp() override {
    InterpolatorTest::SetUp();
    MotionTestArmOptions options;
    options.lag_bandwidth = 300.0;
    if (GetParam().options != nullptr) GetParam().options(options);
    build(options);
    checker = std::make_unique<testing::SetpointChecker>(arm_.robot->robot_para_);
  }
  void TearDown() override {
    EXPECT_EQ(checker->violations(), 0u) << checker->firstViolation();
    InterpolatorTest::TearDown();
  }

  // Runs n periods, checking the setpoint of each; returns their console output.
  std::string run(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
      out += step();
      checker->check(interpolator_->refJointState().positions, Interpolator::kPeriod);
    }
    return out;
  }
  std::string runUntil(const std::function<bool()>& done, int limit) {
    std::string out;
    for (int i = 0; i < limit && !done(); ++i) out += run(1);
    return out;
  }
  Move* move(const std::vector<double>& goal, bool block = true, double scale = 1.0) {
    Move* cmd = makeMove<Move>(goal, scale);
    cmd->is_block = block;
    interpolator_->addCmd(cmd);
    return cmd;
  }
  static bool done(const AbstractCmdInterface* cmd) {
    const int s = cmd->cmd_status.load();
    return s == cmd_status::kSucceeded || s == cmd_status::kFailed || s == cmd_status::kStopped;
  }
  // A blocking move A under way and a blocking move B queued behind it (planned from A's goal):
  // inject a fault in the middle of A, clear it after `periods`, then A must end with `status`
  // and B must never run. Returns the console output.
  std::string abortScenario(const std::function<void()>& inject, int periods,
                            const std::function<void()>& clear, int status, Move* a = nullptr,
                            MotionState after = MotionState::kIdle) {
    if (a == nullptr) a = move({1.0, 1.0, 1.0, 1.0, 1.0});
    Move* b = move({0.5, 0.5, 0.5, 0.5, 0.5});
    std::string out = run(60);
    inject();
    out += run(periods);
    clear();
    out += runUntil([&] { return done(a); }, 6000);
    out += run(10);
    EXPECT_EQ(a->cmd_status.load(), status);
    EXPECT_EQ(b->cmd_status.load(), cmd_status::kStopped);
    EXPECT_EQ(count(out, "block ...\n"), 1) << "held lines are printed once";
    a->is_block = false;
    b->is_block = false;
    out += run(100);
    EXPECT_EQ(interpolator_->motionState(), after);
    return out;
  }

  using InterpolatorTest::count;
  std::unique_ptr<testing::SetpointChecker> checker;
  testing::MotionTestArm& arm() { return arm_; }
  Interpolator& loop() { return *interpolator_; }
};

TEST_P(InterpolatorSafety, SetpointKeepsTheMotionRules) { GetParam().scenario(*this); }

// A stop decelerates from the commanded state (neither pulled back by the lagging drive nor cut
// short by a stiff one), a recover meanwhile is refused, and the move queued behind never runs.
void StopLaggingDrive(InterpolatorSafety& t) {
  t.abortScenario([&] { t.loop().requestStop(); }, 3,
                  [&] { EXPECT_EQ(t.loop().recover(), interpolator_result::kNotAtRest); },
                  cmd_status::kStopped, nullptr, MotionState::kHolding);
  EXPECT_EQ(t.loop().stopAcc()[0], DBL_MAX);
}

void StopStiffDrive(InterpolatorSafety& t) {
  t.abortScenario([&] { t.loop().requestStop(); }, 1, [] {}, cmd_status::kStopped, nullptr,
                  MotionState::kHolding);
}

// No usable emergency_stop_acc and a drive drifting positive: the stop still ends.
void StopWithoutDeceleration(InterpolatorSafety& t) {
  t.abortScenario(
      [&] {
        t.loop().requestStop();
        t.arm().motors[0]->velocity = 0.01;
      },
      1, [] {}, cmd_status::kStopped, nullptr, MotionState::kHolding);
}

void Collision(InterpolatorSafety& t) {
  t.loop().setCollisionEnable(true);
  t.loop().setDragTeachingEnable(false);
  t.arm().collision_detector->collision = 0;
  const std::string out = t.abortScenario([&] { t.arm().collision_detector->collision = 1; }, 20,
                                          [&] { t.arm().collision_detector->collision = 0; },
                                          cmd_status::kStopped, nullptr, MotionState::kHolding);
  EXPECT_EQ(t.count(out, "The arm get collision.\n"), 1);
  // The collision seen while the stopped move waited for its issuer holds the next command
  // back until a recover.
  EXPECT_EQ(t.loop().recover(), interpolator_result::kOk);
  t.run(1);
  EXPECT_EQ(t.loop().motionState(), MotionState::kIdle);
}

void MeasuredVelocityOverLimit(InterpolatorSafety& t) {
  const std::string out =
      t.abortScenario([&] { t.arm().motors[2]->velocity = 2.5; }, 1,
                      [&] { t.arm().motors[2]->velocity = 0.0; }, cmd_status::kStopped);
  EXPECT_EQ(t.count(out, "The axis 3 planned velocity is"), 1);
}

void MotorWriteError(InterpolatorSafety& t) {
  const std::string out =
      t.abortScenario([&] { t.arm().motors[1]->set_position_error = 7; }, 1,
                      [&] { t.arm().motors[1]->set_position_error = 0; }, cmd_status::kStopped);
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::FATAL);
  EXPECT_EQ(t.count(out, "2 (start from 1) axis setMotorPosition error! error code=<7>"), 1);
}

// Reads failing for 3 periods end the move with a controlled stop, and FATAL is printed once.
void MotorReadsFailing(InterpolatorSafety& t) {
  const std::string out =
      t.abortScenario([&] { t.arm().motors[0]->get_position_error = 5; }, 40,
                      [&] { t.arm().motors[0]->get_position_error = 0; }, cmd_status::kStopped);
  EXPECT_EQ(t.count(out, "The reads of axis 1 have failed for 0.015 s"), 1) << out;
  EXPECT_EQ(t.count(out, "axis getMotorPosition error!"), 1);
}

void Shutdown(InterpolatorSafety& t) {
  const int stop_periods = static_cast<int>(t.loop().longestStopTime() / Interpolator::kPeriod);
  t.abortScenario([&] { t.loop().requestShutdown(); }, stop_periods,
                  [&] { EXPECT_TRUE(t.loop().shutdownComplete()); }, cmd_status::kStopped);
}

// A spline still under way after 20 s decelerates instead of freezing.
void TimeLimit(InterpolatorSafety& t) {
  auto* a = new Move(t.arm().robot);
  const CubicPlannerInput in{{0, 1.5, 0, 1.5, 0, 1.5, 0, 1.5, 0}, {0, 3, 6, 9, 12, 15, 18, 21, 24}};
  for (int i = 0; i < 5; ++i) {
    auto planner = std::make_unique<CubicPlanner>();
    planner->setInput(&in);
    a->traj_interface_ptrs_.push_back(std::move(planner));
  }
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(a->planAllJoints(), 0);
  ::testing::internal::GetCapturedStdout();
  a->is_block = true;
  t.loop().addCmd(a);
  t.abortScenario([] {}, 1, [] {}, cmd_status::kFailed, a);
}

// Drives off: the setpoint holds; back on, it starts from where the arm sagged to.
void DrivesOff(InterpolatorSafety& t) {
  const std::string out = t.abortScenario(
      [&] {
        t.arm().motors[4]->enabled = false;
        t.checker->restart();
      },
      1,
      [&] {
        t.run(50);
        t.arm().motors[3]->setPosition(0.2);  // sagged meanwhile
        t.arm().motors[4]->enabled = true;
        t.checker->restart();
      },
      cmd_status::kStopped);
  EXPECT_NEAR(t.loop().refJointState().positions[3], 0.2, 1e-9);
  EXPECT_EQ(t.count(out, "enable is OFF, the trajectory can not be executed!\n"), 1);
}

// A withdrawn queued move: the one behind it, planned from its goal, is re-planned from where
// the arm is, and its last sample is its goal exactly.
void WithdrawnQueuedMove(InterpolatorSafety& t) {
  t.move({1.0, 1.0, 1.0, 1.0, 1.0}, false);
  Move* b = t.move({-1.0, 1.0, 0.5, 1.0, 1.0}, false);
  Move* c = t.move({-0.5, 0.2, 0.5, 1.0, 0.7});
  t.run(20);
  ASSERT_TRUE(t.loop().withdrawCmd(b));
  delete b;
  t.runUntil([&] { return t.done(c); }, 2000);
  EXPECT_EQ(c->cmd_status.load(), cmd_status::kSucceeded);
  EXPECT_EQ(t.arm().motors[0]->last_command, -0.5);
  EXPECT_EQ(t.arm().motors[4]->last_command, 0.7);
  c->is_block = false;
  t.run(1);
}

// Drag teaching within max_joint_vel, max_joint_acc and the joint limits, re-seeded after the
// drives were off and after homing.
void DragTeaching(InterpolatorSafety& t) {
  t.loop().setCollisionEnable(true);
  t.arm().collision_detector->admittance = {3.5, DBL_MAX, DBL_MAX, DBL_MAX, DBL_MAX};
  t.run(600);
  EXPECT_LE(t.loop().refJointState().positions[0], 3.0);
  EXPECT_GT(t.loop().refJointState().positions[0], 2.9);
  t.arm().collision_detector->admittance[0] = DBL_MAX;
  t.run(200);
  for (auto& motor : t.arm().motors) motor->enabled = false;
  t.run(2);
  t.arm().motors[1]->setPosition(-0.3);  // sags while off
  for (auto& motor : t.arm().motors) motor->enabled = true;
  t.checker->restart();
  t.run(5);
  EXPECT_NEAR(t.arm().motors[1]->last_command, -0.3, 1e-9);
  auto* home = new Counted<MotorIoCmd>(t.arm().robot);
  home->motor_io_type = motor_io_type::kSetHome;
  t.loop().addCmd(home);
  t.run(1);  // homed within this period
  t.checker->restart();
  t.run(5);
  EXPECT_NEAR(t.arm().motors[0]->last_command, 0.0, 1e-9);
}

void stiff(MotionTestArmOptions& o) { o.lag_bandwidth = 0.0; }
void noStopDeceleration(MotionTestArmOptions& o) { o.emergency_stop_acc = 0.0; }

INSTANTIATE_TEST_SUITE_P(
    Faults, InterpolatorSafety,
    ::testing::Values(
        SafetyCase{"stop_lagging_drive", nullptr, &StopLaggingDrive},
        SafetyCase{"stop_stiff_drive", &stiff, &StopStiffDrive},
        SafetyCase{"stop_without_deceleration", &noStopDeceleration, &StopWithoutDeceleration},
        SafetyCase{"collision", nullptr, &Collision},
        SafetyCase{"measured_velocity_over_limit", nullptr, &MeasuredVelocityOverLimit},
        SafetyCase{"motor_write_error", nullptr, &MotorWriteError},
        SafetyCase{"motor_reads_failing", nullptr, &MotorReadsFailing},
        SafetyCase{"shutdown", nullptr, &Shutdown}, SafetyCase{"time_limit", nullptr, &TimeLimit},
        SafetyCase{"drives_off", nullptr, &DrivesOff},
        SafetyCase{"withdrawn_queued_move", nullptr, &WithdrawnQueuedMove},
        SafetyCase{"drag_teaching", nullptr, &DragTeaching}),
    [](const ::testing::TestParamInfo<SafetyCase>& param_info) { return param_info.param.name; });

}  // namespace
}  // namespace brenvik
