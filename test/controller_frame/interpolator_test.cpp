#include "controller_frame/interpolator.h"

#include <gtest/gtest.h>
#include <yaml-cpp/yaml.h>

#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>

#include "common/logger.h"
#include "controller_frame/all_axises_joint_plan_cmd.h"
#include "controller_frame/force_ctrl_cmd.h"
#include "controller_frame/motor_io_cmd.h"
#include "controller_frame/set_io_cmd.h"
#include "controller_frame/steady_loop_clock.h"
#include "controller_frame/trapezoid_planner.h"
#include "robot_factory/brenvik_bot_v5.h"
#include "support/fake_loop_clock.h"
#include "support/motion_test_arm.h"
#include "support/robot_para_files.h"
#include "support/setpoint_checker.h"

namespace brenvik {
namespace {

using namespace std::chrono;
using namespace testing;  // NOLINT: the test arm, clock and checker

// Live Counted<...> commands: one never deleted keeps this above zero.
std::atomic<int> live_commands{0};
template <class Command>
struct Counted : Command {
  template <class... Args>
  explicit Counted(Args&&... args) : Command(std::forward<Args>(args)...) {
    ++live_commands;
  }
  ~Counted() override { --live_commands; }
};
using Move = Counted<AllAxisesJointPlanCmd>;

// Drives an Interpolator on a MotionTestArm period by period with synthetic time, capturing the
// console output; with a checker, every period's setpoint must keep the motion rules.
class InterpolatorTest : public ::testing::Test {
 public:
  void SetUp() override { build({}); }
  void TearDown() override {
    interpolator_.reset();
    EXPECT_EQ(live_commands, 0) << "a command was leaked";
    EXPECT_EQ(checker_ ? checker_->violations() : 0u, 0u) << checker_->firstViolation();
    Logger::instance()->reset();
  }
  void build(const MotionTestArmOptions& options, bool checked = false) {
    interpolator_.reset();
    Logger::instance()->reset();
    Logger::instance()->display_level_ = 1;
    live_commands = 0;
    arm_ = testing::makeMotionTestArm(options);
    clock_ = std::make_shared<FakeLoopClock>();
    interpolator_ = std::make_unique<Interpolator>(arm_.robot, clock_);
    checker_.reset();
    if (checked) checker_.emplace(arm_.robot->robot_para_);
    periods_ = 0;
  }
  // Runs n periods (stepUntil: until done(), at most limit, and counts them); returns the output.
  std::string step(int n = 1) {
    ::testing::internal::CaptureStdout();
    for (int i = 0; i < n; ++i, ++periods_) {
      interpolator_->update(periods_ * Interpolator::kPeriod);
      if (checker_)
        checker_->check(interpolator_->refJointState().positions, Interpolator::kPeriod);
    }
    return ::testing::internal::GetCapturedStdout();
  }
  template <class Predicate>
  int stepUntil(Predicate done, int limit, std::string* out = nullptr) {
    int n = 0;
    for (std::string ignored; !done() && n < limit; ++n) (out ? *out : ignored) += step();
    return n;
  }
  static bool ended(const AbstractCmdInterface* cmd) {
    return cmd_status::isFinal(cmd->cmd_status);
  }
  // A trapezoid move from the start point to goal within scale x the axis limits (planned or not).
  Move* makeMove(const V& goal, double scale = 1.0, bool plan = true) {
    const V start = interpolator_->getMotionStartPoint();
    auto* cmd = new Move(arm_.robot);
    for (size_t i = 0; i < goal.size(); ++i) {
      const AxisPara& axis = arm_.robot->robot_para_.axis_paras[i];
      const double a = scale * axis.max_joint_acc;
      const TrapezoidPlannerInput in{0, start[i], goal[i], 0, 0, scale * axis.max_joint_vel, a, -a};
      cmd->traj_interface_ptrs_.push_back(std::make_unique<TrapezoidPlanner>());
      cmd->traj_interface_ptrs_.back()->setInput(&in);
    }
    cmd->vel_scale = cmd->acc_scale = scale;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(plan ? cmd->planAllJoints() : 0, 0);
    ::testing::internal::GetCapturedStdout();
    return cmd;
  }
  Counted<SetIoCmd>* makeIo(int id, int value, bool block = false) {
    auto* cmd = new Counted<SetIoCmd>(arm_.robot);
    return cmd->ctrl_io_id = id, cmd->io_cmd = value, cmd->is_block = block, cmd;
  }
  static int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
  }

  // Drives lagging their setpoints at `bandwidth` (0: stiff).
  void drives(double bandwidth = 300.0, double emergency_stop_acc = 2.0) {
    build({5, emergency_stop_acc, bandwidth}, true);
  }
  Move* move(const V& goal, bool block = true) {
    Move* cmd = makeMove(goal);
    return cmd->is_block = block, interpolator_->addCmd(cmd), cmd;
  }
  AbstractCmdInterface* motorIo(int type, std::vector<bool> flags = {}) {
    auto* cmd = new Counted<MotorIoCmd>(arm_.robot);
    return cmd->motor_io_type = type, cmd->enable_flags = std::move(flags), cmd;
  }
  AbstractCmdInterface* force(bool active) {
    auto* cmd = new Counted<ForceCtrlCmd>(arm_.robot);
    return cmd->active = active, cmd;
  }
  // The simulated arm of the parameter file, drives lagging at 150 rad/s, enabled, faults on axis.
  void simulated(const char* faults, int axis) {
    YAML::Node doc = YAML::LoadFile(test::kSimParaFile);
    doc["virtual_motor_para"]["tracking_bandwidth"] = 150.0;
    doc["axis_paras"][axis - 1]["simulated_faults"] = YAML::Load(faults);
    ::testing::internal::CaptureStdout();
    arm_.robot = std::make_shared<BrenvikBotV5>(test::TempFile(test::emit(doc)).path());
    interpolator_ = std::make_unique<Interpolator>(arm_.robot, clock_);
    ::testing::internal::GetCapturedStdout();
    checker_.emplace(arm_.robot->robot_para_);
    interpolator_->addCmd(motorIo(motor_io_type::kEnable, {true}));
    stepUntil([&] { return interpolator_->isCmdQueueEmpty(); }, 1000);
  }
  // Holding: the next command ends stopped without reaching its device, until a recover.
  void holdsUntilRecover() {
    EXPECT_EQ(interpolator_->motionState(), MotionState::kHolding);
    auto* cmd = makeIo(1, 3, true);
    interpolator_->addCmd(cmd);
    step();
    EXPECT_EQ(cmd->cmd_status.load(), cmd_status::kStopped);
    cmd->is_block = false;
    EXPECT_EQ(interpolator_->recover(), interpolator_result::kOk);
    step();
    EXPECT_EQ(interpolator_->motionState(), MotionState::kIdle);
    EXPECT_EQ(interpolator_->stopFlag(), 0);
  }

  MotionTestArm arm_;
  std::shared_ptr<FakeLoopClock> clock_;
  std::unique_ptr<Interpolator> interpolator_;
  std::optional<SetpointChecker> checker_;
  int periods_ = 0;
};
using F = InterpolatorTest;

TEST(InterpolatorConstruction, RefusesAnIncompleteRobot) {
  for (const auto& clear : std::vector<std::function<void(Robot&)>>{
           [](Robot& r) { r.kinematics_.reset(); }, [](Robot& r) { r.dynamics_.reset(); },
           [](Robot& r) { r.collision_detector_.reset(); },
           [](Robot& r) { r.robot_para_.axis_paras[2].motor.reset(); },
           [](Robot& r) { r.robot_para_.axis_num = 4; }}) {
    auto arm = testing::makeMotionTestArm();
    clear(*arm.robot);
    EXPECT_THROW(Interpolator{arm.robot}, std::invalid_argument);
  }
  EXPECT_THROW(Interpolator(nullptr), std::invalid_argument);
}

TEST_F(InterpolatorTest, ReadsTheMeasuredState) {
  EXPECT_EQ(interpolator_->stopAcc(), V(5, DBL_MAX));
  EXPECT_DOUBLE_EQ(interpolator_->longestStopTime(), 1.005);  // max v / stop acc, plus a period
  arm_.motors[0]->setPosition(0.3), arm_.motors[1]->velocity = 0.2, arm_.motors[2]->torque = 1.5;
  step();
  const JointStateRecord& actual = interpolator_->actualJointState();
  EXPECT_EQ(actual.positions, (V{0.3, 0, 0, 0, 0}));
  EXPECT_EQ(actual.velocities, (V{0, 0.2, 0, 0, 0}));
  EXPECT_DOUBLE_EQ(actual.accelerations[1], 0.2 / 0.005);
  EXPECT_EQ(actual.efforts, (V{0, 0, 1.5, 0, 0}));
  EXPECT_EQ(interpolator_->tcpPose(), arm_.robot->kinematics_->forwardKinematics(actual.positions));
  EXPECT_EQ(interpolator_->refJointState().positions, actual.positions);  // seeded where it is
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

// Reads of axis 2 failing (an error, a velocity or torque not finite) for kReadFailurePeriods:
// FATAL once, the queue dropped, kFault until the reads succeed.
TEST_F(InterpolatorTest, FailingReadsEnterFaultUntilTheyRecover) {
  for (int read = 0; read < 3; ++read) {
    build({});
    interpolator_->addCmd(makeIo(1, 3));
    auto& motor = *arm_.motors[1];
    motor.get_position_error = read == 0 ? 5 : 0;
    motor.velocity = read == 1 ? NAN : 0.0, motor.torque = read == 2 ? NAN : 0.0;
    std::string out = step(Interpolator::kReadFailurePeriods - 1);
    EXPECT_EQ(interpolator_->motionState(), MotionState::kIdle);
    out += step(3);
    EXPECT_EQ(count(out, "2 (start from 1) axis "), 1) << out;
    EXPECT_EQ(Logger::instance()->statusCode(), error_code::kPeriodUpdate);
    EXPECT_EQ(interpolator_->motionState(), MotionState::kFault);
    EXPECT_TRUE(interpolator_->isCmdQueueEmpty());
    EXPECT_EQ(arm_.dynamics->calls, 0);
    motor.get_position_error = 0, motor.velocity = motor.torque = 0.0;
    step();
    EXPECT_EQ(interpolator_->motionState(), MotionState::kIdle);
  }
}

// Arrival order, withdrawal of a waiting command (never the current one), a blocking command held
// for its issuer, the start point of a new move, and commands still queued deleted with the loop.
TEST_F(InterpolatorTest, QueueStory) {
  auto *a = makeIo(1, 5, true), *b = makeIo(1, 6), *c = makeIo(1, 7);
  interpolator_->addCmd(nullptr);
  for (auto* cmd : {a, b, c}) interpolator_->addCmd(cmd);
  EXPECT_EQ(interpolator_->getLastCmd(), c);
  EXPECT_NE(step().find("interpolator read new command.\n"), std::string::npos);
  EXPECT_EQ(interpolator_->idleFlag(), 0);
  EXPECT_FALSE(interpolator_->withdrawCmd(a));
  EXPECT_TRUE(interpolator_->withdrawCmd(c));
  EXPECT_EQ(interpolator_->getLastCmd(), b);
  delete c;  // the caller's again
  EXPECT_EQ(count(step(4), "block ...\n"), 1);
  EXPECT_EQ(a->cmd_status.load(), cmd_status::kSucceeded);
  EXPECT_EQ(b->cmd_status.load(), cmd_status::kQueued);
  a->is_block = false;  // the issuer lets go
  EXPECT_NE(step().find("delete block cmd\n"), std::string::npos);
  EXPECT_EQ(live_commands, 1);
  EXPECT_EQ(interpolator_->idleFlag(), 1);
  step(2);
  EXPECT_EQ(arm_.io_device->commanded, 6);
  // The start point is the goal of the newest move in the queue, even behind another command.
  interpolator_->addCmd(makeMove({0.5, 0.1, 0.1, 0.2, 0.3}));
  interpolator_->addCmd(makeIo(7, 1));  // no device 7: still under way at the end
  EXPECT_EQ(interpolator_->getMotionStartPoint(), (V{0.5, 0.1, 0.1, 0.2, 0.3}));
  step(10);
  EXPECT_EQ(interpolator_->getMotionStartPoint(), (V{0.5, 0.1, 0.1, 0.2, 0.3}));
  step(400);
  EXPECT_EQ(live_commands, 1);  // deleted with the loop (TearDown)
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
  EXPECT_EQ(arm_.collision_detector->sensitivity, (std::vector<V>{{4, 0, 1, 2, 3, 1.5}, {0}}));
}

// run() on the fake clock: the first motor read of a period records its start, spends its work.
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

// A blocking command A under way (by default a move), a blocking move B queued behind it; the
// fault comes after 60 periods, clears `periods` later; A ends with `status`, B never runs.
enum Phase { kSetUp, kFault, kCleared, kReleased };
struct AbortCase {
  const char* name;
  std::function<void(F&, Phase)> script;
  int periods, status;
  const char* line;  // printed exactly once, or null
  std::function<AbstractCmdInterface*(F&)> first = nullptr;
  bool holds = false;  // released, the loop holds until a recover
};

TEST_F(InterpolatorTest, EveryAbortDeceleratesAndDropsTheQueue) {
  const int stopped = cmd_status::kStopped, failed = cmd_status::kFailed;
  const std::vector<AbortCase> cases = {
      {"stop", [](F& t, Phase p) { p == kFault ? t.interpolator_->requestStop() : void(); }, 3,
       stopped, nullptr, nullptr, true},
      // No usable emergency_stop_acc (max_joint_acc instead), a drive drifting: the stop ends.
      {"stop without deceleration",
       [](F& t, Phase p) {
         if (p == kSetUp) t.drives(300.0, 0.0);
         if (p == kFault) t.interpolator_->requestStop(), t.arm_.motors[0]->velocity = 0.01;
       },
       1, stopped, nullptr, nullptr, true},
      {"cancel",
       [](F& t, Phase p) {
         if (p == kFault) t.interpolator_->requestStop(false);
         EXPECT_TRUE(p != kReleased || t.interpolator_->motionState() == MotionState::kIdle);
       },
       1, stopped, nullptr},
      {"collision",
       [](F& t, Phase p) {
         t.interpolator_->setCollisionEnable(true), t.interpolator_->setDragTeachingEnable(false);
         t.arm_.collision_detector->collision = p == kFault ? 1 : 0;
       },
       20, stopped, "The arm get collision.\n", nullptr, true},
      {"measured velocity over its limit",
       [](F& t, Phase p) { t.arm_.motors[2]->velocity = p == kFault ? 2.5 : 0.0; }, 1, stopped,
       "The axis 3 planned velocity is"},
      {"motor write error",
       [](F& t, Phase p) {
         t.arm_.motors[1]->set_position_error = p == kFault ? 7 : 0;
         EXPECT_TRUE(p != kCleared || Logger::instance()->statusCode() == error_code::kMotorWrite);
       },
       1, stopped, "2 (start from 1) axis setMotorPosition error! error code=<7>"},
      {"motor reads failing",
       [](F& t, Phase p) { t.arm_.motors[0]->get_position_error = p == kFault ? 5 : 0; }, 40,
       stopped, "The reads of axis 1 have failed for 0.015 s"},
      {"shutdown",
       [](F& t, Phase p) {
         if (p == kFault) t.interpolator_->requestShutdown();
         EXPECT_TRUE(p != kCleared || t.interpolator_->shutdownComplete());
       },
       200, stopped, "Shut-down"},
      // Drives off: the setpoint holds; back on, it starts from where the arm sagged to.
      {"drives off",
       [](F& t, Phase p) {
         if (p == kFault || p == kCleared) t.checker_->restart();
         if (p == kCleared) t.arm_.motors[3]->setPosition(0.2);
         t.arm_.motors[4]->enabled = p != kFault;
         EXPECT_TRUE(p != kReleased || t.interpolator_->refJointState().positions[3] == 0.2);
       },
       50, stopped, "enable is OFF, the trajectory can not be executed!\n"},
      // The simulated drives and arm models: a push the collision detector sees.
      {"simulated push",
       [](F& t, Phase p) {
         if (p == kSetUp)
           t.simulated("{external_torque: 30.0, external_torque_from_period: 150}", 2);
         t.interpolator_->setCollisionEnable(true), t.interpolator_->setDragTeachingEnable(false);
       },
       0, stopped, "The arm get collision.\n"},
      // An axis settled outside its threshold of the goal: reported once, failed at the limit.
      {"outside the goal threshold",
       [](F& t, Phase p) {
         if (p == kSetUp) t.drives(0.0), t.arm_.motors[1]->position_offset = 0.02;
       },
       0, failed, "2 axis pos:"},
      {"still moving at the time limit", nullptr, 0, failed, "time is over 20s or collision!\n",
       [](F& t) { return t.makeMove(V(5, 1.0), 0.02); }},
      {"no planners", nullptr, 0, failed,
       "It does not have a trajectory_interface when cal joint pos\n",
       [](F& t) { return new Move(t.arm_.robot); }},
      {"cartesian", nullptr, 0, failed, "The current trajectory command has nothing to sample\n",
       [](F& t) -> AbstractCmdInterface* {
         return new Counted<AbstractCmdInterface>(cmd_type::kCartesianTrajectory, t.arm_.robot);
       }},
      {"planners never planned", nullptr, 0, failed, "calAllJointsPostion return error!\n",
       [](F& t) { return t.makeMove(V(5, 1.0), 1.0, false); }},
  };
  for (const AbortCase& c : cases) {
    SCOPED_TRACE(c.name);
    drives();
    const auto script = [&](Phase p) { return c.script ? c.script(*this, p) : void(); };
    script(kSetUp);
    AbstractCmdInterface* a = c.first ? c.first(*this) : move(V(5, 1.0));
    a->is_block = true;
    if (c.first) interpolator_->addCmd(a);
    Move* b = move(V(5, 0.5));
    std::string out = step(60);
    script(kFault);
    out += step(c.periods);
    script(kCleared);
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
    EXPECT_EQ(interpolator_->stopAcc()[0], DBL_MAX);
    EXPECT_EQ(live_commands, 0);
    script(kReleased);
    if (c.holds) holdsUntilRecover();
    EXPECT_EQ(checker_->violations(), 0u) << checker_->firstViolation();
  }
}

// From a commanded 0.5 rad/s at emergency_stop_acc 2 rad/s²: 50 periods, whatever the (stiff)
// drive reports; a recover meanwhile is refused; the stop then holds until a recover.
TEST_F(InterpolatorTest, StopDeceleratesFromTheCommandedVelocity) {
  drives(0.0);
  interpolator_->addCmd(makeMove(V(5, 1.0), 0.25));
  step(110);
  ASSERT_NEAR(interpolator_->refJointState().velocities[0], 0.5, 1e-9);
  interpolator_->requestStop();
  EXPECT_EQ(interpolator_->recover(), interpolator_result::kNotAtRest);  // not yet begun
  EXPECT_NE(step().find("It take 50 periods to stop.\n"), std::string::npos);
  EXPECT_NEAR(interpolator_->stopAcc()[4], -2.0, 1e-9);
  EXPECT_NEAR(interpolator_->refJointState().velocities[4], 0.49, 1e-9);
  step(48);
  EXPECT_EQ(interpolator_->motionState(), MotionState::kStopping);
  EXPECT_EQ(interpolator_->recover(), interpolator_result::kNotAtRest);
  step();
  EXPECT_EQ(interpolator_->refJointState().velocities, V(5, 0.0));
  EXPECT_EQ(interpolator_->stopFlag(), 1);
  EXPECT_EQ(interpolator_->idleFlag(), 1);
}

// A withdrawn queued move: the one behind it, planned from its goal, is re-planned from where the
// arm is, and its last sample is its goal exactly.
TEST_F(InterpolatorTest, MoveBehindAWithdrawnOneIsReplanned) {
  drives();
  move(V(5, 1.0), false);
  Move* b = move({-1.0, 1.0, 0.5, 1.0, 1.0}, false);
  Move* c = move({-0.5, 0.2, 0.5, 1.0, 0.7});
  step(20);
  ASSERT_TRUE(interpolator_->withdrawCmd(b));
  delete b;
  std::string out;
  stepUntil([&] { return ended(c); }, 2000, &out);
  EXPECT_EQ(count(out, "The move is re-planned from the commanded position.\n"), 1);
  EXPECT_EQ(c->cmd_status.load(), cmd_status::kSucceeded);
  EXPECT_EQ((V{arm_.motors[0]->last_command, arm_.motors[4]->last_command}), (V{-0.5, 0.7}));
}

// Drag teaching needs its switch, collision detection and the drives on; it keeps max_joint_vel,
// max_joint_acc and the joint limits, and joints marked DBL_MAX where they are.
TEST_F(InterpolatorTest, DragTeachingKeepsTheLimits) {
  drives();
  arm_.collision_detector->admittance = {3.5, DBL_MAX, DBL_MAX, DBL_MAX, DBL_MAX};
  step();  // detection off
  interpolator_->setCollisionEnable(true);
  interpolator_->setDragTeachingEnable(false);
  step();
  EXPECT_EQ(arm_.collision_detector->admittance_calls, 0);
  interpolator_->setDragTeachingEnable(true);
  step(600);
  EXPECT_EQ(interpolator_->motionState(), MotionState::kDragTeaching);
  EXPECT_NEAR(interpolator_->refJointState().positions[0], 2.95, 0.05);  // up to the limit
  EXPECT_EQ(interpolator_->refJointState().positions[1], 0.0);
  arm_.collision_detector->admittance = {-1.0, 0.5, DBL_MAX, DBL_MAX, DBL_MAX};
  step(20);
  arm_.collision_detector->admittance = V(5, DBL_MAX);
  step(200);
  arm_.motors[2]->enabled = false;  // the drives off end it
  step();
  EXPECT_EQ(interpolator_->motionState(), MotionState::kIdle);
}

// Exact samples of a 1 s move of 1 rad (vmax 2, acceleration 4: triangular, peak exactly 2) on
// stiff drives; after the success the next command waits 500 ms while the loop goes on.
TEST_F(InterpolatorTest, MoveFollowsThePlanThenPausesTheQueue) {
  drives(0.0);
  interpolator_->setCollisionEnable(true);
  interpolator_->setDragTeachingEnable(false);
  auto* next = makeIo(1, 2);
  interpolator_->addCmd(makeMove(V(5, 1.0)));
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
  EXPECT_NEAR(101 + stepUntil([&] { return live_commands == 1; }, 400, &out), 202, 1);
  EXPECT_EQ(count(out, "The trajectory executes success."), 1);
  const int detections = arm_.collision_detector->detect_calls;
  EXPECT_EQ(stepUntil([&] { return next->cmd_status.load() == cmd_status::kExecuting; }, 200), 100);
  EXPECT_EQ(arm_.collision_detector->detect_calls, detections + 100);
}

// A blocking device command: its status, the period it ends in, the status code (0: none), a line.
struct DeviceCase {
  std::function<AbstractCmdInterface*(F&)> make;  // scripts the devices too
  int status, periods, code;
  const char* line;
  double held = -1.0;  // >= 0: the setpoint of axis 1 at the end (all drives start at 0.25)
};

TEST_F(InterpolatorTest, DeviceCommandsEndAsTheDevicesAnswer) {
  const int ok = cmd_status::kSucceeded, failed = cmd_status::kFailed;
  const auto enable = [](F& t, std::vector<bool> flags, int delay = 0, int error = 0) {
    for (auto& motor : t.arm_.motors) motor->enabled = false, motor->enable_delay_reads = delay;
    t.arm_.motors[1]->set_enable_error = error;
    return t.motorIo(motor_io_type::kEnable, std::move(flags));
  };
  const std::vector<DeviceCase> cases = {
      {[](F& t) { return t.makeIo(1, 3); }, ok, 2, 0, "Ctrl io command Finish.\n"},
      {[](F& t) { return t.makeIo(42, 1); }, failed, 1002, error_code::kCtrlIoTimeout,
       "Wait ctrl io command finish...\n"},
      {[](F& t) { return t.arm_.io_device->reads_to_reach = -1, t.makeIo(1, 1); }, failed, 1002,
       error_code::kCtrlIoTimeout, "Ctrl io command time out error!!!\n"},
      {[=](F& t) { return enable(t, {true}, 38); }, ok, 21, 0,
       "The motors have been setEnable success."},
      {[=](F& t) { return enable(t, {false}); }, ok, 2, 0, nullptr},
      {[=](F& t) { return enable(t, std::vector<bool>(2, true)); }, failed, 602,
       error_code::kEnableTimeout, "enable or disable cmd time out error!!!"},
      {[=](F& t) { return enable(t, {true}, 0, 12); }, failed, 602, error_code::kEnableTimeout,
       "The <2> axis return error_code=<12> when setEnableStatus.\n"},
      {[](F& t) { return t.motorIo(motor_io_type::kSetHome); }, ok, 1, 0, "set home SUCCESS!\n",
       0.0},  // re-seeded
      {[](F& t) {
         return t.arm_.motors[1]->set_home_error = 4, t.motorIo(motor_io_type::kSetHome);
       },
       failed, 1, error_code::kSetHome, "The <2> axis return error_code=<4> when setHome.\n"},
      {[](F& t) { return t.force(false); }, ok, 1, 0, nullptr},
      {[](F& t) { return t.force(true); }, failed, 1002, error_code::kForceCtrlTimeout,
       "force control time out!\n", 0.25},  // held where the arm is
      {[](F& t) { return t.arm_.motors[0]->set_position_error = 2, t.force(true); },
       cmd_status::kStopped, 2, error_code::kMotorWrite, nullptr},
  };
  for (const DeviceCase& c : cases) {
    SCOPED_TRACE(&c - cases.data());
    build({});
    for (auto& motor : arm_.motors) motor->setPosition(0.25);
    AbstractCmdInterface* cmd = c.make(*this);
    cmd->is_block = true;
    interpolator_->addCmd(cmd);
    std::string out;
    const int periods = stepUntil([&] { return ended(cmd); }, 2000, &out);
    EXPECT_EQ(cmd->cmd_status.load(), c.status);
    EXPECT_EQ(periods, c.periods);
    EXPECT_EQ(Logger::instance()->statusCode(), c.code) << Logger::instance()->statusText();
    EXPECT_EQ(c.line ? count(out + step(3), c.line) : 1, 1) << out;
    EXPECT_TRUE(c.held < 0.0 || interpolator_->refJointState().positions[0] == c.held);
    cmd->is_block = false;
    step();
    EXPECT_EQ(live_commands, 0);
    EXPECT_EQ(interpolator_->idleFlag(), 1);
  }
}

}  // namespace
}  // namespace brenvik
