// The loop's motion against scripted drives, period by period, with every period's setpoint
// checked against the motion rules: finite, inside the joint range, within max_joint_vel and
// max(max_joint_acc, emergency_stop_acc).

#include <gtest/gtest.h>

#include <cfloat>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/logger.h"
#include "controller_frame/force_ctrl_cmd.h"
#include "controller_frame/interpolator.h"
#include "controller_frame/motor_io_cmd.h"
#include "support/interpolator_test_fixture.h"

namespace brenvik {
namespace {

using testing::CommandCounter;
using testing::Counted;
using Move = Counted<AllAxisesJointPlanCmd>;
using V = std::vector<double>;

class InterpolatorSafety : public testing::InterpolatorTest {
 public:
  void SetUp() override { drives(); }
  // Drives lagging their setpoints at `bandwidth` (0: stiff).
  void drives(double bandwidth = 300.0, double emergency_stop_acc = 2.0) {
    testing::MotionTestArmOptions options;
    options.lag_bandwidth = bandwidth;
    options.emergency_stop_acc = emergency_stop_acc;
    build(options, true);
  }
  Move* move(const V& goal, bool block = true, double scale = 1.0) {
    Move* cmd = makeMove(goal, scale);
    cmd->is_block = block;
    interpolator_->addCmd(cmd);
    return cmd;
  }
  AbstractCmdInterface* motorIo(int type, std::vector<bool> flags = {}) {
    auto* cmd = new Counted<MotorIoCmd>(arm_.robot);
    cmd->motor_io_type = type;
    cmd->enable_flags = std::move(flags);
    return cmd;
  }
  AbstractCmdInterface* force(bool active) {
    auto* cmd = new Counted<ForceCtrlCmd>(arm_.robot);
    cmd->active = active;
    return cmd;
  }
  // Holding: the next command ends stopped without reaching its device, until a recover.
  void holdsUntilRecover() {
    EXPECT_EQ(interpolator_->motionState(), MotionState::kHolding);
    auto* cmd = makeIo(1, 3, true);
    interpolator_->addCmd(cmd);
    step();
    EXPECT_EQ(cmd->cmd_status.load(), cmd_status::kStopped);
    EXPECT_EQ(arm_.io_device->set_cmd_calls, 0);
    cmd->is_block = false;
    EXPECT_EQ(interpolator_->recover(), interpolator_result::kOk);
    step();
    EXPECT_EQ(interpolator_->motionState(), MotionState::kIdle);
    EXPECT_EQ(interpolator_->stopFlag(), 0);
  }
};
using F = InterpolatorSafety;

// A blocking command A under way (by default a move) and a blocking move B queued behind it,
// planned from A's goal. The script sets up, injects a fault after 60 periods, clears it
// `periods` later and checks the end; A ends with `status`, B never runs.
enum Phase { kSetUp, kFault, kCleared, kReleased };
struct AbortCase {
  const char* name;
  std::function<void(F&, Phase)> script;
  int periods, status;
  const char* line;  // printed exactly once, or null
  std::function<AbstractCmdInterface*(F&)> first = nullptr;
};

TEST_F(InterpolatorSafety, EveryAbortDeceleratesAndDropsTheQueue) {
  const int stopped = cmd_status::kStopped, failed = cmd_status::kFailed;
  const std::vector<AbortCase> cases = {
      {"stop",
       [](F& t, Phase p) {
         if (p == kFault) t.interpolator_->requestStop();
         EXPECT_TRUE(p != kCleared ||
                     t.interpolator_->recover() == interpolator_result::kNotAtRest);
         if (p == kReleased) t.holdsUntilRecover();
       },
       3, stopped, nullptr},
      // No usable emergency_stop_acc (max_joint_acc instead), a drive drifting: the stop ends.
      {"stop without deceleration",
       [](F& t, Phase p) {
         if (p == kSetUp) t.drives(300.0, 0.0);
         if (p == kFault) t.interpolator_->requestStop(), t.arm_.motors[0]->velocity = 0.01;
         if (p == kReleased) t.holdsUntilRecover();
       },
       1, stopped, nullptr},
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
         if (p == kReleased) t.holdsUntilRecover();
       },
       20, stopped, "The arm get collision.\n"},
      {"measured velocity over its limit",
       [](F& t, Phase p) { t.arm_.motors[2]->velocity = p == kFault ? 2.5 : 0.0; }, 1, stopped,
       "The axis 3 planned velocity is"},
      {"motor write error",
       [](F& t, Phase p) { t.arm_.motors[1]->set_position_error = p == kFault ? 7 : 0; }, 1,
       stopped, "2 (start from 1) axis setMotorPosition error! error code=<7>"},
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
      // An axis settled outside its threshold of the goal: reported once, failed at the limit.
      {"outside the goal threshold",
       [](F& t, Phase p) {
         if (p == kSetUp) t.drives(0.0), t.arm_.motors[1]->position_offset = 0.02;
       },
       0, failed, "2 axis pos:"},
      {"still moving at the time limit", nullptr, 0, failed, "time is over 20s or collision!\n",
       [](F& t) { return t.makeMove(V(5, 1.0), 0.02); }},
      {"planners never planned", nullptr, 0, failed, "calAllJointsPostion return error!\n",
       [](F& t) {
         auto* move = new Move(t.arm_.robot);
         const TrapezoidPlannerInput in{0, 0, 1.0, 0, 0, 0, 0, 0};
         for (int i = 0; i < 5; ++i) {
           move->traj_interface_ptrs_.push_back(std::make_unique<TrapezoidPlanner>());
           move->traj_interface_ptrs_.back()->setInput(&in);
         }
         return move;
       }},
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
    EXPECT_EQ(CommandCounter::live, 0);
    script(kReleased);
    EXPECT_EQ(checker_->violations(), 0u) << checker_->firstViolation();
  }
}

// From a commanded 0.5 rad/s at emergency_stop_acc 2 rad/s²: 50 periods, whatever the (stiff)
// drive reports; a recover meanwhile is refused; the stop then holds until a recover.
TEST_F(InterpolatorSafety, StopDeceleratesFromTheCommandedVelocity) {
  drives(0.0);
  interpolator_->addCmd(makeMove(V(5, 1.0), 0.25));
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
  EXPECT_EQ(interpolator_->refJointState().velocities, V(5, 0.0));
  EXPECT_EQ(interpolator_->stopFlag(), 1);
  EXPECT_EQ(interpolator_->idleFlag(), 1);
}

// A withdrawn queued move: the one behind it, planned from its goal, is re-planned from where the
// arm is, and its last sample is its goal exactly.
TEST_F(InterpolatorSafety, MoveBehindAWithdrawnOneIsReplanned) {
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
  EXPECT_EQ(arm_.motors[0]->last_command, -0.5);
  EXPECT_EQ(arm_.motors[4]->last_command, 0.7);
  c->is_block = false;
  step();
}

// Drag teaching needs its switch, collision detection and the drives on; it keeps max_joint_vel,
// max_joint_acc and the joint limits, and joints marked DBL_MAX where they are; the setpoint is
// re-seeded after the drives were off and after homing.
TEST_F(InterpolatorSafety, DragTeachingKeepsTheLimits) {
  arm_.collision_detector->admittance = {3.5, DBL_MAX, DBL_MAX, DBL_MAX, DBL_MAX};
  step();  // detection off
  interpolator_->setCollisionEnable(true);
  interpolator_->setDragTeachingEnable(false);
  step();
  EXPECT_EQ(arm_.collision_detector->admittance_calls, 0);
  interpolator_->setDragTeachingEnable(true);
  step(600);
  EXPECT_EQ(interpolator_->motionState(), MotionState::kDragTeaching);
  EXPECT_LE(interpolator_->refJointState().positions[0], 3.0);
  EXPECT_GT(interpolator_->refJointState().positions[0], 2.9);
  EXPECT_EQ(interpolator_->refJointState().positions[1], 0.0);
  arm_.collision_detector->admittance = {-1.0, 0.5, DBL_MAX, DBL_MAX, DBL_MAX};
  step(20);
  arm_.collision_detector->admittance = V(5, DBL_MAX);
  step(200);
  for (auto& motor : arm_.motors) motor->enabled = false;
  step(2);
  EXPECT_EQ(interpolator_->motionState(), MotionState::kIdle);
  const int calls = arm_.collision_detector->admittance_calls;
  arm_.motors[1]->setPosition(-0.3);  // sags while off
  for (auto& motor : arm_.motors) motor->enabled = true;
  checker_->restart();
  step(5);
  EXPECT_EQ(arm_.collision_detector->admittance_calls, calls + 5);
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
  EXPECT_NEAR(101 + stepUntil([&] { return CommandCounter::live == 1; }, 400, &out), 202, 1);
  EXPECT_EQ(count(out, "The trajectory executes success."), 1);
  for (const auto& motor : arm_.motors) EXPECT_NEAR(motor->position(), 1.0, 1e-4);
  EXPECT_EQ(Logger::instance()->statusCode(), error_code::kNoCollision);  // nothing worse
  const int detections = arm_.collision_detector->detect_calls;
  EXPECT_EQ(stepUntil([&] { return next->cmd_status.load() == cmd_status::kExecuting; }, 200), 100);
  EXPECT_EQ(arm_.collision_detector->detect_calls, detections + 100);
  step(2);
}

// A device command (blocking, so its outcome can be read): its status, the period it ends in, the
// status code logged (0: none) and its console line.
struct DeviceCase {
  std::function<AbstractCmdInterface*(F&)> make;  // scripts the devices too
  int status, periods, code;
  const char* line;
  double held = -1.0;  // >= 0: the setpoint of axis 1 at the end (all drives start at 0.25)
};

TEST_F(InterpolatorSafety, DeviceCommandsEndAsTheDevicesAnswer) {
  const int ok = cmd_status::kSucceeded, failed = cmd_status::kFailed;
  const auto enable = [](F& t, std::vector<bool> flags, int delay, int error) {
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
      {[=](F& t) { return enable(t, {true}, 38, 0); }, ok, 21, 0,
       "The motors have been setEnable success."},
      {[=](F& t) { return enable(t, {false}, 0, 0); }, ok, 2, 0, nullptr},
      {[=](F& t) {
         return enable(t, {true, true}, 0, 0);
       },
       failed, 602, error_code::kEnableTimeout, "enable or disable cmd time out error!!!"},
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
    const double q = interpolator_->refJointState().positions[0];
    EXPECT_TRUE(c.held < 0.0 || q == c.held) << q;
    cmd->is_block = false;
    step();
    EXPECT_EQ(CommandCounter::live, 0);
    EXPECT_EQ(interpolator_->idleFlag(), 1);
  }
}

}  // namespace
}  // namespace brenvik
